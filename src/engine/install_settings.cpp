#include "engine/install_settings.h"

#include "base/sha.h"
#include "model/custom_install_file.h"

namespace tmby {

namespace {
// Asks the holder (a component) to hear of the referenced component's destruction.
void Watch(TPersistent* holder, TComponent* referenced) {
  if (auto* component = dynamic_cast<TComponent*>(holder); component && referenced) {
    component->FreeNotification(referenced);
  }
}
}  // namespace

const TClassInfo& TInstallInformation::StaticClass() {
  using T = TInstallInformation;
  static const TClassInfo info =
      TClassInfo::Define<T, TPersistent>("TInstallInformation", [](TClassBuilder<T>& c) {
        c.String("CompanyName", &T::CompanyName, &T::CompanyName, "My Company");
        c.String("ProductName", &T::ProductName, &T::ProductName, "My product");
        c.String("Version", &T::Version, &T::Version, "1.0");
      });
  return info;
}

void TInstallInformation::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TInstallInformation*>(&source);
  if (other == nullptr) return TPersistent::Assign(source);
  CompanyName = other->CompanyName;
  ProductName = other->ProductName;
  Version = other->Version;
}

const TClassInfo& TPasswordInfo::StaticClass() {
  using T = TPasswordInfo;
  static const TClassInfo info =
      TClassInfo::Define<T, TPersistent>("TPasswordInfo", [](TClassBuilder<T>& c) {
        c.String("Password", &T::Password, &T::SetPassword);
        c.Integer("PasswordTries", &T::PasswordTries, &T::SetPasswordTries, 3);
      });
  return info;
}

void TPasswordInfo::SetPassword(const std::string& text) {
  password_ = IsLoading(*this) ? text : "$" + Sha1Hex(text);
}

void TPasswordInfo::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TPasswordInfo*>(&source);
  if (other == nullptr) return TPersistent::Assign(source);
  password_ = other->password_;
  tries_ = other->tries_;
}

const TClassInfo& TRegistrationInformation::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TRegistrationInformation, TPersistent>("TRegistrationInformation");
  return info;
}

const TClassInfo& TBuildInfo::StaticClass() {
  using T = TBuildInfo;
  static const TClassInfo info =
      TClassInfo::Define<T, TPersistent>("TBuildInfo", [](TClassBuilder<T>& c) {
        c.Boolean("AddUninstallOnCreate", &T::AddUninstallOnCreate, &T::AddUninstallOnCreate, true);
        c.String("AppName", &T::AppName, &T::AppName);
        c.String("AppURL", &T::AppURL, &T::AppURL);
        c.String("BuildDirectory", &T::BuildDirectory, &T::BuildDirectory, "c:\\build");
        c.String("CredentialsFile", &T::CredentialsFile, &T::CredentialsFile);
        c.String("OCXName", &T::OCXName, &T::OCXName, "tbsetup");
        c.String("PrivateKeyFile", &T::PrivateKeyFile, &T::PrivateKeyFile);
        c.Boolean("SignCode", &T::SignCode, &T::SignCode, false);
        c.String("URLPath", &T::URLPath, &T::URLPath);
        c.String("TmbyVersion", &T::TmbyVersion, nullptr, kTmbyVersion);
      });
  return info;
}

void TBuildInfo::Assign(const TPersistent& source) {
  const auto* o = dynamic_cast<const TBuildInfo*>(&source);
  if (o == nullptr) return TPersistent::Assign(source);
  AddUninstallOnCreate = o->AddUninstallOnCreate;
  AppName = o->AppName;
  AppURL = o->AppURL;
  BuildDirectory = o->BuildDirectory;
  CredentialsFile = o->CredentialsFile;
  OCXName = o->OCXName;
  PrivateKeyFile = o->PrivateKeyFile;
  SignCode = o->SignCode;
  URLPath = o->URLPath;
}

const TClassInfo& TControlPanelExtensionInformation::StaticClass() {
  using T = TControlPanelExtensionInformation;
  static const TClassInfo info = TClassInfo::Define<T, TPersistent>(
      "TControlPanelExtensionInformation", [](TClassBuilder<T>& c) {
        c.String("Comments", &T::Comments, &T::Comments);
        c.String("Contact", &T::Contact, &T::Contact);
        c.Reference("DisplayIcon", &T::DisplayIcon, &T::SetDisplayIcon);
        c.String("HelpLink", &T::HelpLink, &T::HelpLink);
        c.String("HelpTelephone", &T::HelpTelephone, &T::HelpTelephone);
        c.String("ProductID", &T::ProductID, &T::ProductID);
        c.Reference("ReadMe", &T::ReadMe, &T::SetReadMe);
        c.String("URLInfoAbout", &T::URLInfoAbout, &T::URLInfoAbout);
        c.String("URLUpdateInfo", &T::URLUpdateInfo, &T::URLUpdateInfo);
      });
  return info;
}

void TControlPanelExtensionInformation::SetDisplayIcon(TCustomInstallFile* file) {
  displayIcon_ = file;
  Watch(GetOwner(), file);
}

void TControlPanelExtensionInformation::SetReadMe(TCustomInstallFile* file) {
  readMe_ = file;
  Watch(GetOwner(), file);
}

void TControlPanelExtensionInformation::Forget(const TComponent* component) {
  if (displayIcon_ == component) displayIcon_ = nullptr;
  if (readMe_ == component) readMe_ = nullptr;
}

}  // namespace tmby
