// Temporary files, the system folders, file attributes and the nearest existing directory.
#pragma once

#include <string>

#include "base/install_types.h"

namespace tmby {

// File attributes a file of the install can be given. Stored by name: keep the order.
enum TTmbyFileAttributes {
  tfaArchive,
  tfaCompressed,
  tfaDirectory,
  tfaHidden,
  tfaNormal,
  tfaOffline,
  tfaReadOnly,
  tfaSystem,
  tfaTemporary
};
using TTmbyFileAttributesSet = EnumSet<TTmbyFileAttributes>;

// A new empty file with a unique name (prefix "bat") in the temporary directory; when `keep` is
// false the file is deleted again and only its name is returned. Raises EAPIRoutines
// "Cannot create a temporary file".
std::string GetTempFile(bool keep);

// Raise EAPIRoutines when Windows will not tell the directory. No trailing backslash.
std::string GetSystemDir();
std::string GetWindowsDir();

// The shell folders as the registry records them, with a conventional default when the value is
// missing or unreadable. They never fail; no result has a trailing backslash.
std::string GetStartMenuDir();
std::string GetProgramsDir();
std::string GetDesktopDir();
std::string GetStartupDir();
std::string GetProgramFilesDir();
std::string GetCommonFilesDir();

// The Windows attribute bits of a set (tfaCompressed has none).
uint32_t FileAttributeBits(TTmbyFileAttributesSet attributes);
// Gives the file exactly these attributes. Raises IEfcSetAttributes
// "Cannot set file attributes. Error : %s" with the system's text for the error.
void SetFileAttributesFromSet(const std::string& path, TTmbyFileAttributesSet attributes);

// The longest leading part of `path`, cut at a backslash, that is an existing directory: the
// path itself when it is one, "C:" for a missing folder at the top of drive C:, empty when no
// part exists or the path is blank.
std::string NearestExistingDirectory(const std::string& path);

}  // namespace tmby
