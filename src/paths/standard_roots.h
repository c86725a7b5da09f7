// The standard kinds that name machine folders known from the registry or from Windows itself:
// the Borland Database Engine, the common files, the desktop, program files, the Start menu with
// its Programs and Startup folders, and the system and Windows directories. The kinds bound to
// the install tree are in install_roots.h, the shell folders in shell_roots.h, the
// Office folders in office_roots.h.
#pragma once

#include "paths/root_kind.h"

namespace tmby {

// HKLM "DLLPath" of the Borland Database Engine up to its first ";", else program files and
// "Borland\Common Files\BDE". The only kind that keeps a trailing backslash.
TMBY_DECLARE_PATH_KIND(TpsBDEDLL)
TMBY_DECLARE_PATH_KIND(TpsCommonFiles)
TMBY_DECLARE_PATH_KIND(TpsDesktopMenu)
TMBY_DECLARE_PATH_KIND(TpsProgramFiles)
TMBY_DECLARE_PATH_KIND(TpsProgramMenu)
TMBY_DECLARE_PATH_KIND(TpsStartMenu)
TMBY_DECLARE_PATH_KIND(TpsStartupMenu)
// The system and Windows directories; EAPIRoutines when Windows will not tell them.
TMBY_DECLARE_PATH_KIND(TpsSystem)
TMBY_DECLARE_PATH_KIND(TpsWindow)

// The kinds every install definition holds one instance of, in registration order: the
// framework's fourteen, the fifteen shell folders, the six Office folders.
const std::vector<const TClassInfo*>& StandardPathSpecifierKinds();

}  // namespace tmby
