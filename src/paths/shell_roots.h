// The standard kinds that name folders of the Windows shell. Most depend on the Windows family:
// the NT family asks the shell for the all-users or per-user folder, the 9x family for its
// per-user counterpart, and other systems get "undefined" or an empty path.
#pragma once

#include "base/install_types.h"
#include "paths/root_kind.h"

namespace tmby {

TMBY_DECLARE_PATH_KIND(TpsPrinters)
TMBY_DECLARE_PATH_KIND(TpsRecent)
TMBY_DECLARE_PATH_KIND(TpsSendTo)
TMBY_DECLARE_PATH_KIND(TpsStartup)
TMBY_DECLARE_PATH_KIND(TpsControlPanel)
TMBY_DECLARE_PATH_KIND(TpsFavorites)
TMBY_DECLARE_PATH_KIND(TpsBitBucket)
TMBY_DECLARE_PATH_KIND(TpsCookies)
TMBY_DECLARE_PATH_KIND(TpsCommonAltStartup)
TMBY_DECLARE_PATH_KIND(TpsCommonStartup)
TMBY_DECLARE_PATH_KIND(TpsCommonDesktopDirectory)
TMBY_DECLARE_PATH_KIND(TpsCommonFavorites)
TMBY_DECLARE_PATH_KIND(TpsCommonPrograms)
TMBY_DECLARE_PATH_KIND(TpsCommonStartMenu)
// The Quick Launch folder below the user's application data, on every Windows.
TMBY_DECLARE_PATH_KIND(TpsQuickLaunchMenu)

// The literal path of a shell folder kind that does not exist on the running Windows.
inline constexpr const char* kUndefinedPath = "undefined";

// The running Windows for the shell folder kinds: osUnidentified when Windows will not tell its
// version (a shell folder never fails).
TOSVerType ShellFolderOSVersion();

}  // namespace tmby
