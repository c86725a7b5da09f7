// The standard kinds that name folders of Microsoft Office: the template folders and the Word
// option folders of the installed Word, with folders below program files when no Word (or one
// the kit does not know) is installed, and the Office favorites.
#pragma once

#include <string>

#include "paths/root_kind.h"

namespace tmby {

TMBY_DECLARE_PATH_KIND(TpsOfficeUserTemplates)
// The workgroup templates; without a setting of their own, the user templates folder.
TMBY_DECLARE_PATH_KIND(TpsOfficeWorkgroupTemplates)
TMBY_DECLARE_PATH_KIND(TpsOfficeClipartDirectory)
TMBY_DECLARE_PATH_KIND(TpsOfficeStartupDirectory)
TMBY_DECLARE_PATH_KIND(TpsOfficeToolsDirectory)
TMBY_DECLARE_PATH_KIND(TpsOfficeFavoritesDirectory)

// The major version of the installed Word (8 for Word 97), from the classes root: the version
// part of Word.Document's current identifier, when that identifier's editing server is an
// existing file. -1 for anything else. Asked afresh on each call.
int GetWordVersion();
// The version part of an identifier "Word.Document.<n>": what follows its second "."; -1 when
// there is no second "." or the rest is not a number.
int WordVersionOfProgId(const std::string& progId);

}  // namespace tmby
