// The loading program's side of a distribution's setup.exe (the kit's TamberlyLoadProgram.exe,
// which the build copies to setup.exe and follows with the archives, the trailer record and the
// checksum; see archive_format.h). Both the loading program and the setup engine use this file:
// the loader unpacks into a folder of the shape fixed here and starts the engine with the command
// line fixed here; the engine's cleanup (-c) recognises that folder by the same rules.
//
// The two forms of setup.exe the loader accepts:
//   - self-extracting: loader, setup.1, files.1 (optional), the "SELFEXTRACTING" trailer and the
//     40-character SHA-0 checksum of everything before it. The engine comes out of the setup.1
//     inside the file, and reads files.1 there too (-e).
//   - separate: loader and the "NOTSELFEXTRACT" trailer (all offsets zero), with the checksum when
//     the build wrote one and without it on a disk made by the floppy transfer. setup.1 and files.1
//     lie beside the loader; the engine comes out of that setup.1.
// Anything else (no trailer, a checksum that does not match, a signature of neither kind, offsets
// that do not describe the documented layout) is a damaged or incomplete download: the loader
// refuses it and starts nothing.
//
// The temporary folder: a fresh folder directly below the user's temporary folder, named "TMBY"
// and four hexadecimal digits ("C:\TEMP\TMBY1A2F"; an 8.3 name, so its short and long names are
// the same). The loader creates it (a name already taken by a file or folder is skipped) and puts
// there the engine (the first member of setup.1, under its own file name) and the pre-setup files
// (the further members), nothing else. The engine runs with the user's temporary folder as its
// working directory: no process then holds the folder the engine removes at the end, nor a disk
// that the install asks the user to change.
//
// The engine's command line, as the loader passes it:
//   "<folder>\<engine>" "-s<source folder>" "-e<file name of setup.exe>" -c [arguments]
// where the source folder is the folder of setup.exe without a trailing backslash ("A:" for the
// root of a disk) and -e is given only in the self-extracting form (the engine then reads the
// install archive inside the file <source folder>\<file name>). The second argument is thus "-e"
// with the loader's file name, or "-c" in the separate form: it never holds a path separator, so
// the directory part of the source folder joined with it is the source folder. The arguments the
// loader itself was given follow unchanged, except "*TODISK" (any case), which becomes "-f" (the
// transfer of the installation to floppy disks).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "base/exceptions.h"

namespace tmby {

// The loading program could not start the engine; the message is what the user reads.
class ELoadingProgram : public ETamberlyAbnormal {
 public:
  using ETamberlyAbnormal::ETamberlyAbnormal;
  const char* ClassName() const override { return "ELoadingProgram"; }
};

// The setup program is damaged or incomplete (a download cut short, a flipped byte).
class ELoaderDamaged : public ELoadingProgram {
 public:
  using ELoadingProgram::ELoadingProgram;
  const char* ClassName() const override { return "ELoaderDamaged"; }
};

inline constexpr char kLoaderFolderPrefix[] = "TMBY";

// The name of the loader's folder for a number (its low 16 bits): "TMBY1A2F".
std::string LoaderFolderName(uint32_t number);
// True for a name of that shape (letters in either case).
bool IsLoaderFolderName(const std::string& name);
// True when `program` (a full path) lies in a folder of the loader's shape directly below the
// user's temporary folder: the folder the engine may delete at the end of a run started with -c.
bool IsInLoaderFolder(const std::string& program);

// What the end of a setup program says about it.
struct TLoaderTail {
  TSelfExtractRecord Record;
  bool SelfExtracting = false;  // "SELFEXTRACTING"; else "NOTSELFEXTRACT" (archives beside it)
  bool HasCheckSum = false;
  std::string CheckSum;  // the 40 hexadecimal digits at the end of the file
};

// Reads the trailer of a file of `size` bytes from its last min(size, 96) bytes `tail`. Raises
// ELoaderDamaged (naming `file`) when there is no trailer of either form, or when the offsets of
// a self-extracting trailer do not describe the loader, setup.1 and files.1 one after the other
// up to the trailer.
TLoaderTail ParseLoaderTail(const std::string& file, int64_t size,
                            const std::vector<uint8_t>& tail);

// What the loader unpacked.
struct TUnpackedSetup {
  std::string Folder;              // the fresh folder, without a trailing backslash
  std::string Engine;              // full path of the engine in it
  std::vector<std::string> Files;  // full paths of every file unpacked, the engine first
  std::string SourceDir;           // the folder of setup.exe, without a trailing backslash
  std::string SelfName;            // the file name of setup.exe in the self-extracting form
  // Reads of setup.exe itself: the trailer, then one pass over the file.
  int64_t SelfBytesRead = 0;
};

// Checks the setup program `self` (trailer, signature, checksum) and unpacks the engine and the
// pre-setup files of its setup archive into a fresh folder below `temp_dir`; `seed` picks the
// first folder name tried. Reads `self` once: its last 96 bytes, then one pass from its start to
// its checksum that computes the digest and copies the setup archive into the folder; the copy is
// unpacked only when the digest matches, and is deleted afterwards. Raises ELoaderDamaged for a
// damaged or incomplete file (the folder is removed again) and ELoadingProgram for other failures.
TUnpackedSetup UnpackSetup(const std::string& self, const std::string& temp_dir, uint32_t seed);

// Deletes the files of the folder and the folder itself (what could not be deleted stays).
void RemoveLoaderFolder(const std::string& folder);

// The engine's command line (see above) with the loader's own `arguments` after it.
std::string EngineCommandLine(const TUnpackedSetup& setup,
                              const std::vector<std::string>& arguments);
// True when the arguments ask for the floppy transfer ("*TODISK").
bool AsksForFloppies(const std::vector<std::string>& arguments);

// One argument quoted for a Windows command line, so that the program's argument splitting gives
// it back unchanged.
std::string QuoteArgument(const std::string& argument);

}  // namespace tmby
