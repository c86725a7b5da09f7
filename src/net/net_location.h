// Net install locations: the HTTP or FTP servers from which a net distribution fetches its
// archives. A location holds the server's login, binds the Windows Internet library by name on
// first use (so that setup starts on machines without it), keeps one session and one connection
// open for all its downloads, and reports each received block to its listeners.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "platform/port.h"

namespace tmby {

enum TInternetProtocol { ipFTP, ipHTTP };
TMBY_ENUM_NAMES(TInternetProtocol, ipFTP, ipHTTP)

class TCustomNetInstallLocation;

// Download progress: (Sender, FileName, Bytes, TotalBytes, FileSize, Buffer). Bytes is the size
// of this block, TotalBytes what has arrived so far with it, FileSize the size the server
// announced (0 when it announced none).
using TDataReceivedEvent =
    TEvent<TPersistent*, const std::string&, int32_t, int32_t, int32_t, const void*>;
using TNetLocationNotifyEvent = TEvent<TCustomNetInstallLocation*>;
// (Location, Aborted).
using TNetLocationDownloadEvent = TEvent<TCustomNetInstallLocation*, bool>;

// The server and the login of a location.
class TCustomLoginInformation : public TPersistent {
  TMBY_CLASS(TCustomLoginInformation, TPersistent)
 public:
  explicit TCustomLoginInformation(TCustomNetInstallLocation* location) : location_(location) {}
  TPersistent* GetOwner() const override;
  // Takes the values of another login.
  void Assign(const TPersistent& source) override;

  // Log in without user name and password.
  bool Anonymous = true;
  // The directory on the server, written with "\" or "/".
  std::string Directory;
  // The server's name or address; "name:port" reaches a port other than the protocol's own.
  std::string Hostname;
  std::string Password;
  TInternetProtocol Protocol = ipHTTP;
  std::string Username;

  TCustomNetInstallLocation* Location() const { return location_; }
  // Enough to connect: a host for the anonymous login, else any of host, user and password.
  bool IsComplete() const;

 private:
  TCustomNetInstallLocation* location_;
};

class TLoginInformation : public TCustomLoginInformation {
  TMBY_CLASS(TLoginInformation, TCustomLoginInformation)
 public:
  using TCustomLoginInformation::TCustomLoginInformation;
};

// The text with every "\" turned into "/"; a blank text gives "/".
std::string ToUrlPath(const std::string& text);
// The folder, below a net build's root, that mirrors the location of a login: the host, "\", and
// the directory, or "HTTP Root directory" / "FTP Root directory" when the directory is blank. A
// "/" becomes "-"; the characters a Windows name cannot hold (" * : ; < > ? \ |) are dropped.
std::string NetRelativeDir(const TCustomLoginInformation& login);
// The host name of "name:port" and the port (0, the protocol's default, when none is given).
std::string HostOf(const std::string& hostname);
uint16_t PortOf(const std::string& hostname);

class TCustomNetInstallLocation : public TComponent {
  TMBY_CLASS(TCustomNetInstallLocation, TComponent)
 public:
  explicit TCustomNetInstallLocation(TComponent* owner);
  ~TCustomNetInstallLocation() override;
  void BeforeDestruction() override;

  TLoginInformation& LoginInformation() { return *login_; }
  const TLoginInformation& LoginInformation() const { return *login_; }

  // --- Virtual operations, in slot order.
  // Loads WININET.DLL and looks up its functions. Raises ENIL_FailLoadWININET or
  // ENIL_FailLoadDLLProc (naming the first missing function).
  virtual void BindWinInet();
  virtual void SetLoginInformation(const TCustomLoginInformation& source);
  // Makes sure the session and the connection are open and, for FTP, that the connection is in
  // the login's directory.
  virtual void Connect();
  // Fetches one file of the server's directory into a local file (replacing it). The file is
  // complete unless the download-abort flag stopped the transfer, which raises nothing.
  virtual void Download(const std::string& remoteName, const std::string& localFile);

  // Closes the connection, then the session; a handle is forgotten once it closed.
  void Disconnect();
  bool Bound() const { return library_ != nullptr && bound_; }
  bool Connected() const { return connection_ != 0; }
  // The library this location bound (null before), for the failure messages.
  platform::IInternetLibrary* Library() const { return library_.get(); }
  const std::string& RemoteFile() const { return remoteFile_; }
  const std::string& LocalFile() const { return localFile_; }

  // Milliseconds the library waits for a connection or for data before the call fails; 0 keeps
  // the library's own time-outs. Applies to the handles opened afterwards.
  uint32_t Timeout = 0;

  TNetLocationDownloadEvent OnAfterDownload;
  TNetLocationNotifyEvent OnAfterConnect;
  TNetLocationNotifyEvent OnBeforeDownload;
  TNetLocationNotifyEvent OnBeforeConnect;
  TDataReceivedEvent OnDataReceived;
  // Set by the object that asked for the current download, for the time of the transfer.
  TDataReceivedEvent ClientDataReceived;

 private:
  // No longer the install's location nor the last connected one.
  void StopBeingCurrent();
  void ApplyTimeout(platform::InternetHandle handle);
  void OpenRemoteFile();
  void Transfer();
  void DropLibrary();

  bool bound_ = false;
  std::string localFile_;
  platform::InternetHandle file_ = 0;
  std::unique_ptr<platform::IInternetLibrary> library_;
  platform::InternetHandle root_ = 0;
  platform::InternetHandle connection_ = 0;
  std::string remoteFile_;
  std::unique_ptr<TLoginInformation> login_;
  // The FTP directory the connection was sent to ("" before).
  std::string ftpDir_;
};

// The location a definition places: its login and events published.
class TNetInstallLocation : public TCustomNetInstallLocation {
  TMBY_CLASS(TNetInstallLocation, TCustomNetInstallLocation)
 public:
  using TCustomNetInstallLocation::TCustomNetInstallLocation;
};

// Every location in existence, in creation order (not owning).
class TCustomNetInstallLocationList {
 public:
  // Raises IENetList for a null location.
  void Add(TCustomNetInstallLocation* location);
  void Remove(TCustomNetInstallLocation* location);
  int Count() const { return static_cast<int>(items_.size()); }
  TCustomNetInstallLocation* Items(int index) const { return items_.at(index); }

 private:
  std::vector<TCustomNetInstallLocation*> items_;
};

// The process-wide state of the net locations.
struct TNetLocations {
  TCustomNetInstallLocationList List;
  // The install's own location (the root's NetLocation).
  TCustomNetInstallLocation* Current = nullptr;
  // The location that connected last; its host is named in failure messages.
  TCustomNetInstallLocation* LastConnected = nullptr;
  // Set when the user cancels a download; the transfer stops at its next block.
  bool DownloadAbort = false;

  // The state of a fresh start: no current or last location, the abort flag clear. The list
  // keeps the locations in existence.
  void Reset();
};
TNetLocations& NetLocations();

void RegisterNetClasses(TClassRegistry& registry);

}  // namespace tmby
