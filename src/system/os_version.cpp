#include "system/os_version.h"

#include "base/exceptions.h"

namespace tmby {

TOSVerType ClassifyOSVersion(const platform::OsVersion& version) {
  using platform::PlatformId;
  switch (version.platform) {
    case PlatformId::Win32s: return os31win32;
    case PlatformId::Windows:
      if (version.minor == 0) return oswin95;
      if (version.minor == 90) return oswinME;
      return oswin98;
    case PlatformId::NT:
      if (version.major < 4) return oswinNT351;
      if (version.major == 4) return oswinNT;
      if (version.major == 5 && version.minor == 0) return oswin2K;
      // XP is the newest member definitions know. Vista and later are counted as XP, so that the
      // stored OS sets keep their meaning: as unidentified, every object's default set would skip
      // them and an install would copy nothing and report success.
      return oswinXP;
    case PlatformId::Other: break;
  }
  return osUnidentified;
}

TOSVerType GetOSVersion() {
  std::optional<platform::OsVersion> version = platform::Port().System().Version();
  if (!version)
    throw EAPIRoutines("Could not get information about the current version of Windows");
  return ClassifyOSVersion(*version);
}

}  // namespace tmby
