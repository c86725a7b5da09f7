#include "net/net_location.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "base/path_text.h"
#include "net/net_errors.h"
#include "platform/internet_functions.h"
#include "ui/forms.h"

namespace tmby {

using platform::InternetHandle;
namespace inet = platform::inet;

namespace {

constexpr uint32_t kBlockSize = 8192;
// HttpQueryInfoA answers into a buffer of this size.
constexpr uint32_t kQueryBufferSize = 33;
// How much of the first block the "404" rule looks at.
constexpr size_t kNotFoundWindow = 30;
const char kHttpHeaders[] = "Accept: */*\r\n\r\n";

bool IsBlankText(const std::string& text) { return TrimText(text).empty(); }

// The decimal number a header value holds, or 0 when it holds none.
int64_t NumberOr0(const std::string& text) {
  const std::string t = TrimText(text);
  if (t.empty() || t.size() > 18) return 0;
  int64_t value = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

int32_t Clamp32(int64_t value) { return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Login

const TClassInfo& TCustomLoginInformation::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomLoginInformation, TPersistent>(
      "TCustomLoginInformation", [](TClassBuilder<TCustomLoginInformation>& c) {
        using T = TCustomLoginInformation;
        c.Boolean("Anonymous", &T::Anonymous, &T::Anonymous, true);
        c.String("Directory", &T::Directory, &T::Directory);
        c.String("Hostname", &T::Hostname, &T::Hostname);
        c.String("Password", &T::Password, &T::Password);
        c.Enum("Protocol", &T::Protocol, &T::Protocol, ipHTTP);
        c.String("Username", &T::Username, &T::Username);
      });
  return info;
}

const TClassInfo& TLoginInformation::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TLoginInformation, TCustomLoginInformation>("TLoginInformation");
  return info;
}

TPersistent* TCustomLoginInformation::GetOwner() const { return location_; }

void TCustomLoginInformation::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TCustomLoginInformation*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  Anonymous = other->Anonymous;
  Directory = other->Directory;
  Hostname = other->Hostname;
  Password = other->Password;
  Protocol = other->Protocol;
  Username = other->Username;
}

bool TCustomLoginInformation::IsComplete() const {
  if (Anonymous) return !IsBlankText(Hostname);
  return !IsBlankText(Hostname) || !IsBlankText(Password) || !IsBlankText(Username);
}

std::string ToUrlPath(const std::string& text) {
  if (IsBlankText(text)) return "/";
  std::string out = text;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

namespace {
std::string CleanFolderName(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '/') {
      out += '-';
    } else if (std::string_view("\"*:;<>?\\|").find(c) == std::string_view::npos) {
      out += c;
    }
  }
  return out;
}
}  // namespace

std::string NetRelativeDir(const TCustomLoginInformation& login) {
  const std::string host = CleanFolderName(login.Hostname);
  if (!IsBlankText(login.Directory)) return host + "\\" + CleanFolderName(login.Directory);
  return host + (login.Protocol == ipFTP ? "\\FTP Root directory" : "\\HTTP Root directory");
}

namespace {
// The position of the ":" before a port number at the end of a host name, or npos. A name with
// more than one colon (an IPv6 address) has no port of this form.
size_t PortColon(const std::string& hostname) {
  const size_t colon = hostname.find(':');
  if (colon == std::string::npos || hostname.find(':', colon + 1) != std::string::npos) {
    return std::string::npos;
  }
  const std::string digits = hostname.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::string::npos;
  }
  const long port = std::stol(digits);
  return port >= 1 && port <= 65535 ? colon : std::string::npos;
}
}  // namespace

std::string HostOf(const std::string& hostname) {
  const std::string host = TrimText(hostname);
  const size_t colon = PortColon(host);
  return colon == std::string::npos ? host : host.substr(0, colon);
}

uint16_t PortOf(const std::string& hostname) {
  const std::string host = TrimText(hostname);
  const size_t colon = PortColon(host);
  return colon == std::string::npos ? 0 : static_cast<uint16_t>(std::stol(host.substr(colon + 1)));
}

// ---------------------------------------------------------------------------------------------
// Location

const TClassInfo& TCustomNetInstallLocation::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomNetInstallLocation, TComponent>("TCustomNetInstallLocation");
  return info;
}

const TClassInfo& TNetInstallLocation::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TNetInstallLocation, TCustomNetInstallLocation>(
      "TNetInstallLocation", [](TClassBuilder<TNetInstallLocation>& c) {
        using T = TNetInstallLocation;
        c.Nested("LoginInformation",
                 [](const T& t) -> const TLoginInformation& { return t.LoginInformation(); });
        c.Event<TNetLocationNotifyEvent>("OnAfterConnect", &T::OnAfterConnect);
        c.Event<TNetLocationDownloadEvent>("OnAfterDownload", &T::OnAfterDownload);
        c.Event<TNetLocationNotifyEvent>("OnBeforeConnect", &T::OnBeforeConnect);
        c.Event<TNetLocationNotifyEvent>("OnBeforeDownload", &T::OnBeforeDownload);
        c.Event<TDataReceivedEvent>("OnDataReceived", &T::OnDataReceived);
        // A vendor bounds the wait for a server that stops answering.
        c.Integer("Timeout", &T::Timeout, &T::Timeout, 0);
      });
  return info;
}

TCustomNetInstallLocation::TCustomNetInstallLocation(TComponent* owner)
    : TComponent(owner), login_(std::make_unique<TLoginInformation>(this)) {
  NetLocations().List.Add(this);
}

void TCustomNetInstallLocation::BeforeDestruction() {
  StopBeingCurrent();
  TComponent::BeforeDestruction();
}

void TCustomNetInstallLocation::StopBeingCurrent() {
  TNetLocations& net = NetLocations();
  if (net.LastConnected == this) net.LastConnected = nullptr;
  if (net.Current == this) net.Current = nullptr;
}

TCustomNetInstallLocation::~TCustomNetInstallLocation() {
  // Again for a location deleted without Free, whose BeforeDestruction ran as the base's.
  StopBeingCurrent();
  if (library_) {
    if (file_ != 0) library_->CloseHandle(file_);
    Disconnect();
  }
  DropLibrary();
  NetLocations().List.Remove(this);
}

void TCustomNetInstallLocation::DropLibrary() {
  library_.reset();
  bound_ = false;
}

void TCustomNetInstallLocation::BindWinInet() {
  // A library bound before goes, with what was open through it.
  if (library_) {
    if (file_ != 0) library_->CloseHandle(file_);
    Disconnect();
  }
  file_ = 0;
  root_ = 0;
  connection_ = 0;
  ftpDir_.clear();
  DropLibrary();
  library_ = platform::Port().Internet().Load();
  if (!library_) {
    throw ENIL_FailLoadWININET(
        "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to "
        "include the WININET.DLL file in the PresetupFiles property of the TInstall component");
  }
  for (const std::string function : inet::kLocationFunctions) {
    if (!library_->Bind(function)) {
      // The failure names the function as the library's documentation does, without the "A"
      // of its ANSI form.
      const bool ansi = function.size() > 1 && function.back() == 'A';
      throw ENIL_FailLoadDLLProc("Failed to load the procedure %s from WININET.DLL",
                                 {ansi ? function.substr(0, function.size() - 1) : function});
    }
  }
  bound_ = true;
}

void TCustomNetInstallLocation::SetLoginInformation(const TCustomLoginInformation& source) {
  login_->Assign(source);
}

void TCustomNetInstallLocation::Connect() {
  NetLocations().LastConnected = this;
  if (!bound_) BindWinInet();
  platform::IInternetLibrary& lib = *library_;
  if (root_ == 0) {
    const ui::TApplication* app = ui::Application();
    root_ = lib.Open(app != nullptr ? app->Name() : std::string(), inet::kOpenTypePreconfig, 0);
    if (root_ == 0) RaiseNetError<ENIL_OpenSession>(&lib, "Cannot open internet connection");
    ApplyTimeout(root_);
  }
  const TLoginInformation& login = *login_;
  const bool ftp = login.Protocol == ipFTP;
  const std::string dir = ftp ? ToUrlPath(login.Directory) : std::string();
  // The server takes a relative directory from the current one: a connection that went to
  // another directory starts again from the login's own.
  if (ftp && connection_ != 0 && dir != ftpDir_ && dir[0] != '/' && !ftpDir_.empty()) {
    if (lib.CloseHandle(connection_)) connection_ = 0;
  }
  if (connection_ == 0) {
    ftpDir_.clear();
    OnBeforeConnect(this);
    std::optional<std::string> user;
    std::optional<std::string> password;
    if (!login.Anonymous) {
      user = login.Username;
      password = login.Password;
    } else if (!ftp) {
      // No credentials for FTP lets the server's anonymous login apply; HTTP sends none anyway.
      user = std::string();
      password = std::string();
    }
    connection_ = lib.Connect(root_, HostOf(login.Hostname), PortOf(login.Hostname), user, password,
                              ftp ? inet::kServiceFtp : inet::kServiceHttp, 0);
    if (connection_ == 0) {
      RaiseNetError<ENIL_OpenService>(&lib, "Cannot connect to host %s", {login.Hostname});
    }
    ApplyTimeout(connection_);
    OnAfterConnect(this);
  }
  // Changing to a relative directory again would go one level deeper on every download, so the
  // directory is set once per connection (and again when it changes).
  if (ftp && dir != ftpDir_) {
    if (!lib.FtpSetCurrentDirectory(connection_, dir)) {
      RaiseNetError<ENIL_FTPSetDir>(&lib, "Cannot set directory on server to %s", {dir});
    }
    ftpDir_ = dir;
  }
}

void TCustomNetInstallLocation::ApplyTimeout(InternetHandle handle) {
  // Each handle gets the time-outs itself: the library does not pass those of a session on to
  // the requests made below it.
  if (Timeout != 0) library_->SetTimeouts(handle, Timeout);
}

void TCustomNetInstallLocation::Disconnect() {
  if (!library_) return;
  if (connection_ != 0 && library_->CloseHandle(connection_)) connection_ = 0;
  if (root_ != 0 && library_->CloseHandle(root_)) root_ = 0;
  ftpDir_.clear();
}

void TCustomNetInstallLocation::OpenRemoteFile() {
  platform::IInternetLibrary& lib = *library_;
  const TLoginInformation& login = *login_;
  if (login.Protocol == ipFTP) {
    file_ = lib.FtpOpenFile(connection_, remoteFile_, inet::kGenericRead, inet::kFtpTransferBinary);
    if (file_ == 0) {
      RaiseNetError<ENIL_FTPOpenFile>(&lib, "Cannot open file %s on server", {remoteFile_});
    }
    ApplyTimeout(file_);
    return;
  }
  // "dir/name" below a directory, "/name" without one.
  std::string object =
      (IsBlankText(login.Directory) ? std::string("/")
                                    : ToUrlPath(IncludeTrailingBackslash(login.Directory))) +
      remoteFile_;
  // A request names its object from the server's root: a directory typed without the leading
  // separator ("setup\web") would otherwise make a request line no server accepts.
  if (object.empty() || object[0] != '/') object.insert(0, "/");
  file_ =
      lib.HttpOpenRequest(connection_, "GET", object,
                          inet::kFlagReload | inet::kFlagExistingConnect | inet::kFlagNoCacheWrite);
  if (file_ == 0) {
    RaiseNetError<ENIL_HTTPOpenFile>(&lib, "Cannot open file %s on server", {remoteFile_});
  }
  ApplyTimeout(file_);
  if (!lib.HttpSendRequest(file_, kHttpHeaders)) {
    // The message takes the library's error before closing the request replaces it.
    const std::string message = ComposeNetMessage(
        FormatText("Cannot send request for file %s to the server", {remoteFile_}), &lib);
    lib.CloseHandle(file_);
    file_ = 0;
    throw ENIL_HTTPSendRequest(message);
  }
}

void TCustomNetInstallLocation::Download(const std::string& remoteName,
                                         const std::string& localFile) {
  Connect();
  remoteFile_ = remoteName;
  localFile_ = localFile;
  OnBeforeDownload(this);
  OpenRemoteFile();
  platform::IInternetLibrary& lib = *library_;
  try {
    Transfer();
  } catch (...) {
    // The transfer's failure is the one to report; the handle goes in any case.
    lib.CloseHandle(file_);
    file_ = 0;
    throw;
  }
  const bool closed = lib.CloseHandle(file_);
  file_ = 0;
  if (!closed) {
    RaiseNetError<ENIL_FTPCloseFile>(&lib, "Cannot close the file %s on the server", {remoteFile_});
  }
  OnAfterDownload(this, NetLocations().DownloadAbort);
}

void TCustomNetInstallLocation::Transfer() {
  platform::IInternetLibrary& lib = *library_;
  const bool http = login_->Protocol == ipHTTP;
  int64_t announced = 0;
  if (!http) {
    uint32_t available = 0;
    if (!lib.QueryDataAvailable(file_, &available)) {
      RaiseNetError<ENIL_FailDataQuery>(&lib, "Could not query file %s on server", {remoteFile_});
    }
    announced = available;
  } else {
    // The status comes first: a server's error page is no product file, whatever its first
    // bytes say (common 404 pages begin "<!DOCTYPE HTML>", far from their status).
    std::string status;
    if (lib.HttpQueryInfo(file_, inet::kQueryStatusCode, kQueryBufferSize, &status)) {
      const int64_t code = NumberOr0(status);
      if (code == 404) {
        RaiseNetError<ENIL_FileNotFound>(&lib, "Could not find the file %s on the server",
                                         {remoteFile_});
      }
      if (code >= 400) {
        std::string reason;
        lib.HttpQueryInfo(file_, inet::kQueryStatusText, kQueryBufferSize * 4, &reason);
        RaiseNetError<ENIL_HTTP>(&lib, "The server answered %d %s for the file %s",
                                 {code, TrimText(reason), remoteFile_});
      }
    }
    std::string length;
    if (lib.HttpQueryInfo(file_, inet::kQueryContentLength, kQueryBufferSize, &length) ||
        lib.LastError() == inet::kErrorHeaderNotFound) {
      announced = NumberOr0(length);
    } else {
      RaiseNetError<ENIL_FailDataQuery>(&lib, "Could not query file %s on server", {remoteFile_});
    }
  }

  platform::IFileSystem& files = platform::Port().Files();
  std::unique_ptr<platform::IFile> out =
      files.Open(localFile_, platform::FileAccess::Write, platform::kShareRead,
                 platform::FileDisposition::CreateAlways);
  if (!out) {
    throw ENIL_WriteDestFile("%s could not write to the local dest file %s", {Name(), localFile_});
  }
  // A transfer that broke off leaves no file that could pass for the whole one, so that nothing
  // takes it for a finished download.
  auto broken = [&]() {
    const std::string message = ComposeNetMessage(
        FormatText("Could not read from file %s on the server", {remoteFile_}), &lib);
    out.reset();
    files.RemoveFile(localFile_);
    return ENIL_ReadFile(message);
  };

  std::vector<char> block(kBlockSize);
  uint32_t got = 0;
  if (!lib.ReadFile(file_, block.data(), kBlockSize, &got)) {
    throw broken();
  }
  if (http) {
    std::string head(block.data(), std::find(block.data(), block.data() + got, '\0'));
    head.resize(std::min(head.size(), kNotFoundWindow));
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (head.find("404") != std::string::npos) {
      RaiseNetError<ENIL_FileNotFound>(&lib, "Could not find the file %s on the server",
                                       {remoteFile_});
    }
  }
  int64_t total = 0;
  bool aborted = false;
  while (got > 0) {
    total += got;
    OnDataReceived(this, remoteFile_, static_cast<int32_t>(got), Clamp32(total), Clamp32(announced),
                   block.data());
    ClientDataReceived(this, remoteFile_, static_cast<int32_t>(got), Clamp32(total),
                       Clamp32(announced), block.data());
    platform::Port().System().ProcessMessages();
    if (NetLocations().DownloadAbort) {
      aborted = true;
      break;
    }
    if (!out->Write(block.data(), got)) {
      throw ENIL_WriteDestFile("%s could not write to the local dest file %s",
                               {Name(), localFile_});
    }
    if (!lib.ReadFile(file_, block.data(), kBlockSize, &got)) {
      throw broken();
    }
  }
  if (total == 0) {
    RaiseNetError<ENIL_FileNotFound>(&lib, "Could not find the file %s on the server",
                                     {remoteFile_});
  }
  // A connection that closed before the announced length arrived ends the reads as though the
  // file were complete: the length the server announced is the only witness.
  if (http && !aborted && announced > 0 && total < announced) {
    throw broken();
  }
}

// ---------------------------------------------------------------------------------------------
// Process-wide state

void TCustomNetInstallLocationList::Add(TCustomNetInstallLocation* location) {
  if (location == nullptr) {
    RaiseNetError<IENetList>(nullptr,
                             "Cannot add a blank location to the global net location list");
  }
  items_.push_back(location);
}

void TCustomNetInstallLocationList::Remove(TCustomNetInstallLocation* location) {
  const auto it = std::find(items_.begin(), items_.end(), location);
  if (it != items_.end()) items_.erase(it);
}

void TNetLocations::Reset() {
  Current = nullptr;
  LastConnected = nullptr;
  DownloadAbort = false;
}

TNetLocations& NetLocations() {
  static TNetLocations state;
  return state;
}

void RegisterNetClasses(TClassRegistry& registry) {
  registry.Register({&TNetInstallLocation::StaticClass()});
}

}  // namespace tmby
