// The archive file format of the kit: a 5-byte head, 176-byte member headers and each member's data
// as one zlib stream. One archive can stand alone (files.1), be spread over numbered volumes
// (files.1, files.2, ...) or sit at the tail of a self-extracting setup program, whose 56-byte
// trailer record (and 40-character SHA-0 checksum) says where each archive begins.
//
// All integers are little-endian and every field is read and written explicitly. A "position" is a
// byte offset from the archive's head; readers add the archive's offset within its container file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tmby {

namespace platform {
class IFile;
}

// Deflate level of new members: zlib levels 0, 1, the library default and 9.
enum TCompressionLevel { colNone, colFastest, colDefault, colMax };
// How a compression run treats an existing archive: replace it, or append to it.
enum TlzhCommand { lzcOverwrite, lzcOnlyAdd };

int ZlibLevel(TCompressionLevel level);

inline constexpr int kArchiveHeadSize = 5;
inline constexpr int kFileHeaderSize = 176;
inline constexpr int kMemberNameLength = 100;
inline constexpr int kMemberVersionLength = 20;
// Member identifiers below this bound are indexed by the reader.
inline constexpr int kMemberIndexTableSize = 2000;

// Byte offsets of the member header fields.
namespace hdr {
inline constexpr int kMemberNumber = 0;
inline constexpr int kFileDate = 8;
inline constexpr int kEndVolume = 16;
inline constexpr int kEndPosition = 20;
inline constexpr int kFileName = 24;
inline constexpr int kNextHeader = 128;
inline constexpr int kOriginalSize = 132;
inline constexpr int kDataStart = 136;
inline constexpr int kCompressedSize = 140;
inline constexpr int kStartVolume = 144;
inline constexpr int kMemberIndex = 148;
inline constexpr int kFileVersion = 152;
}  // namespace hdr

// The messages of the archive reader and writer.
namespace msg {
inline constexpr char kCorrupt[] =
    "Could not read the file headers for the compressed file. The Archive file could possible be "
    "corrupt";
inline constexpr char kCannotWriteHeaders[] =
    "Could not write the file headers for the compressed file";
inline constexpr char kCannotReadCount[] =
    "Could not read the file header count for the compressed file";
inline constexpr char kInvalidIndex[] =
    "%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders";
inline constexpr char kInvalidHeader[] = "Tried to add an invalid file header";
inline constexpr char kCannotOpenFile[] = "Cannot open the file %s";
inline constexpr char kCannotCreateFile[] = "Cannot create the file %s";
inline constexpr char kFileTooLarge[] = "The file %s is too large for an archive";
}  // namespace msg

// One member header. `Loaded` is set when the header was read from an archive and clear when it
// was built from a file on disk (a member still to be compressed).
class TFileHeader {
 public:
  using Record = std::array<uint8_t, kFileHeaderSize>;

  bool Loaded = false;
  int32_t MemberNumber = 0;
  double FileDate = 0;  // day count since 1899-12-30, local time
  uint8_t EndVolume = 0;
  int32_t EndPosition = 0;
  std::string FileName;  // at most 100 bytes
  int32_t NextHeader = 0;
  int32_t OriginalSize = 0;
  int32_t DataStart = 0;
  int32_t CompressedSize = 0;
  uint8_t StartVolume = 0;
  int32_t MemberIndex = 0;
  std::string FileVersion;  // at most 20 bytes
  // The full path of the source file of a member still to be compressed (FileName keeps only its
  // first 100 bytes); not part of the record.
  std::string SourcePath;

  // The 176-byte record of this header; reserved bytes and unused string bytes are zero.
  Record Encode() const;
  // The header held by a record (Loaded stays as it is).
  void Decode(const Record& record);

  // Describes the file named by `line` (up to its first ";"): name, last-write date, size and
  // version string. Returns the file, open for reading and at its start, for the compressor to
  // read its data without opening it again.
  std::unique_ptr<platform::IFile> FillFromFile(const std::string& line);
  bool IsValid() const;
  // Reads / writes the 176 bytes at the stream's current position.
  void ReadFrom(platform::IFile& stream);
  void WriteTo(platform::IFile& stream) const;
};

// The progress record passed by reference to every progress event of the archive component.
struct TlzhFileStats {
  uint8_t FilePercent = 0;
  int32_t FileBytesDone = 0;
  std::string FileName;
  int32_t CompressedSize = 0;
  uint8_t Ratio = 0;
  int32_t OriginalSize = 0;
  TFileHeader Header;
  bool Done = false;
  uint8_t TotalPercent = 0;
  int32_t TotalBytesDone = 0;
  int32_t TotalCompressed = 0;
  uint8_t TotalRatio = 0;
  int32_t TotalOriginal = 0;
};

// part / whole x 100 rounded to the nearest integer (ties to even); 0 when whole is 0. Results
// beyond the byte range are held at 255.
uint8_t Percent(int64_t part, int64_t whole);

// The member headers of one archive in archive order, with the head's multi-volume flag.
class TFileHeaders {
 public:
  bool MultiVolume = false;

  int Count() const { return static_cast<int>(items_.size()); }
  // A header reached for writing may change its sizes: the totals are summed again.
  TFileHeader& Items(int index);
  const TFileHeader& Items(int index) const;
  void Add(const TFileHeader& header);
  void Clear() {
    items_.clear();
    by_name_.clear();
    indexed_ = 0;
    totals_.reset();
  }
  // With `sources`, the files of the first kHeldSources lines stay open there in line order (the
  // others as null), for the compressor to read; a long list does not hold every file open.
  static constexpr size_t kHeldSources = 16;
  void BuildFromFileList(const std::vector<std::string>& lines, bool append,
                         std::vector<std::unique_ptr<platform::IFile>>* sources = nullptr);
  // List position of the first header named `name` (up to its first ";"), ignoring case; -1 if
  // none. Constant time: extracting every member of a large archive by name stays linear.
  int IndexOf(const std::string& name) const;
  // Reads the head and the headers through the NextHeader chain from an archive at `offset`.
  void ReadFrom(platform::IFile& stream, int64_t offset);
  // Writes the head at position 0, and for a multi-volume archive every header after it.
  void WriteTo(platform::IFile& stream);
  // The sizes of all headers added up; kept until a header changes, as an install extracts its
  // members one call at a time and each call sums them.
  void SumTotals(TlzhFileStats& stats) const;

 private:
  std::vector<TFileHeader> items_;
  mutable std::optional<std::pair<int64_t, int64_t>> totals_;  // original, compressed
  // Lower-case name -> first position, for the first `indexed_` headers; an entry is checked
  // against its header before it is trusted, and a search of the list settles every doubt.
  mutable std::unordered_map<std::string, int> by_name_;
  mutable size_t indexed_ = 0;
};

// Name of volume `volume` of the archive whose volume 1 is `name`: files.1 -> files.12.
std::string VolumeFileName(const std::string& name, int volume);

// Path pieces with Windows separators ("\\", "/" and the drive colon).
std::string PathFileNamePart(const std::string& path);
// The directory part without a trailing separator ("C:\\dir" of "C:\\dir\\x"; "C:\\" stays).
std::string PathDirectoryPart(const std::string& path);
std::string ReplaceExtension(const std::string& path, const std::string& extension);
std::string WithTrailingBackslash(const std::string& path);
std::string TrimBlanks(const std::string& text);
// The text of a file-list line up to its first ";".
std::string LineFileName(const std::string& line);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------------------------
// The self-extracting setup program: loader, setup.1, files.1, trailer record, checksum.

inline constexpr int kSelfExtractRecordSize = 56;
inline constexpr int kCheckSumSize = 40;
inline constexpr char kSelfExtracting[] = "SELFEXTRACTING";
inline constexpr char kNotSelfExtract[] = "NOTSELFEXTRACT";

struct TSelfExtractRecord {
  std::string Signature;
  int32_t SetupStart = 0;
  int32_t SetupEnd = 0;
  int32_t FilesStart = 0;
  int32_t FilesEnd = 0;

  std::array<uint8_t, kSelfExtractRecordSize> Encode() const;
  static TSelfExtractRecord Decode(const std::array<uint8_t, kSelfExtractRecordSize>& bytes);
};

// Appends setup.1 and, when it exists, files.1 to `exe` and then the "SELFEXTRACTING" trailer.
// Returns the record written.
TSelfExtractRecord AppendSelfExtractArchives(const std::string& exe, const std::string& setup1,
                                             const std::string& files1);
// Appends the "NOTSELFEXTRACT" trailer (all offsets zero) to `exe`.
void AppendNotSelfExtractTrailer(const std::string& exe);
// Appends the 40-character SHA-0 digest of the whole file to it.
void AppendCheckSum(const std::string& exe);
// The SHA-0 digest of a file as 40 upper-case hexadecimal digits.
std::string FileCheckSum(const std::string& path);
// Reads the trailer record at the file's length minus 96.
TSelfExtractRecord ReadSelfExtractRecord(const std::string& file);

}  // namespace tmby
