// Where the build finds the kit it belongs to. The build copies the kit's loading program,
// TamberlyLoadProgram.exe, to the distribution's setup.exe; the loading program lies in the kit's
// installation folder, found this way:
//   1. The value "Path" of the key HKEY_LOCAL_MACHINE\SOFTWARE\QRN\Tamberly (which installing the
//      kit writes). When the value is there, it must name an existing folder: a kit that was
//      moved or removed is reported, not quietly replaced by another.
//   2. Without that value: the folder of the running setup program, when
//      TamberlyLoadProgram.exe lies beside it (a kit unpacked anywhere, with the vendor's setup
//      program made into it).
// Otherwise the build fails with "The HKEY_LOCAL_MACHINE | \SOFTWARE\QRN\Tamberly key in the
// registry is either missing or points to an invalid QRN directory".
#pragma once

#include <string>

namespace tmby {

inline constexpr char kKitRegistryKey[] = "\\SOFTWARE\\QRN\\Tamberly";
inline constexpr char kKitPathValue[] = "Path";
inline constexpr char kLoaderProgramName[] = "TamberlyLoadProgram.exe";

// The kit's installation folder (no trailing backslash) for the running program `program`.
// Raises IENoTamberlyPath when it cannot be found.
std::string FindTamberlyPath(const std::string& program);

}  // namespace tmby
