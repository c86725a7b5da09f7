// The running Windows as the kit classifies it.
#pragma once

#include "base/install_types.h"
#include "platform/port.h"

namespace tmby {

// The class of a version record: Win32s, the 9x line by minor version (0 Windows 95, 90 ME,
// any other 98), the NT line (below 4 NT 3.51, 4 NT 4, 5.0 2000, 5.1 and every later one XP).
TOSVerType ClassifyOSVersion(const platform::OsVersion& version);

// The class of the running Windows. Raises EAPIRoutines "Could not get information about the
// current version of Windows" when the system will not tell its version.
TOSVerType GetOSVersion();

// The Windows NT family of the kit: NT 4, 2000 and XP.
inline constexpr OSSet kNTFamily{oswinNT, oswin2K, oswinXP};
inline bool IsNTFamily(TOSVerType os) { return kNTFamily.Contains(os); }

}  // namespace tmby
