// The settings objects that hang off the install root: product information, the install password,
// the registration information, the build settings and the extra values of the Add/Remove
// Programs entry. Each is owned by its TCustomInstall and published as a nested object.
#pragma once

#include <cstdint>
#include <string>

#include "base/component.h"

namespace tmby {

class TCustomInstallFile;

class TInstallSettings : public TPersistent {
 public:
  explicit TInstallSettings(TPersistent* holder) : holder_(holder) {}
  TPersistent* GetOwner() const override { return holder_; }

 private:
  TPersistent* holder_;
};

// Company, product and version; ProductName names the uninstall entry.
class TInstallInformation : public TInstallSettings {
  TMBY_CLASS(TInstallInformation, TInstallSettings)
 public:
  using TInstallSettings::TInstallSettings;
  void Assign(const TPersistent& source) override;
  std::string CompanyName = "My Company";
  std::string ProductName = "My product";
  std::string Version = "1.0";
};

// The install password, kept as "$" and the 40-digit SHA-1 of the text, and how many tries the
// user gets (at least 1).
class TPasswordInfo : public TInstallSettings {
  TMBY_CLASS(TPasswordInfo, TInstallSettings)
 public:
  using TInstallSettings::TInstallSettings;
  void Assign(const TPersistent& source) override;
  const std::string& Password() const { return password_; }
  // Stores "$" + SHA-1 of the text; while a definition is read, the stored form as it stands.
  void SetPassword(const std::string& text);
  int32_t PasswordTries() const { return tries_; }
  // Values below 1 store 1.
  void SetPasswordTries(int32_t value) { tries_ = value < 1 ? 1 : value; }

 private:
  std::string password_;
  int32_t tries_ = 3;
};

// The registered company and owner written into the uninstall entry (not published).
class TRegistrationInformation : public TInstallSettings {
  TMBY_CLASS(TRegistrationInformation, TInstallSettings)
 public:
  using TInstallSettings::TInstallSettings;
  std::string RegCompany;
  std::string RegOwner;
};

// Settings carried with the definition for the build tools.
class TBuildInfo : public TInstallSettings {
  TMBY_CLASS(TBuildInfo, TInstallSettings)
 public:
  using TInstallSettings::TInstallSettings;
  void Assign(const TPersistent& source) override;
  static constexpr const char* kTmbyVersion = "5.20.00";
  bool AddUninstallOnCreate = true;
  std::string AppName;
  std::string AppURL;
  std::string BuildDirectory = "c:\\build";
  std::string CredentialsFile;
  std::string OCXName = "tbsetup";
  std::string PrivateKeyFile;
  bool SignCode = false;
  std::string URLPath;
  std::string TmbyVersion() const { return kTmbyVersion; }
};

// Extra values of the Add/Remove Programs entry. DisplayIcon and ReadMe name file components of
// the definition; the holder clears them when those components go.
class TControlPanelExtensionInformation : public TInstallSettings {
  TMBY_CLASS(TControlPanelExtensionInformation, TInstallSettings)
 public:
  using TInstallSettings::TInstallSettings;
  std::string Comments;
  std::string Contact;
  std::string HelpLink;
  std::string HelpTelephone;
  std::string ProductID;
  std::string URLInfoAbout;
  std::string URLUpdateInfo;
  TCustomInstallFile* DisplayIcon() const { return displayIcon_; }
  void SetDisplayIcon(TCustomInstallFile* file);
  TCustomInstallFile* ReadMe() const { return readMe_; }
  void SetReadMe(TCustomInstallFile* file);
  // Forgets a file component that is being destroyed.
  void Forget(const TComponent* component);

 private:
  TCustomInstallFile* displayIcon_ = nullptr;
  TCustomInstallFile* readMe_ = nullptr;
};

}  // namespace tmby
