#include "archive/archive_format.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_set>

#include "archive/archive_io.h"
#include "base/dostime.h"
#include "base/exceptions.h"
#include "base/sha.h"
#include "base/text_codec.h"
#include "platform/port.h"

namespace tmby {

using platform::FileAccess;
using platform::FileDisposition;
using platform::IFile;
using platform::SeekOrigin;

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case colNone: return Z_NO_COMPRESSION;
    case colFastest: return Z_BEST_SPEED;
    case colDefault: return Z_DEFAULT_COMPRESSION;
    case colMax: return Z_BEST_COMPRESSION;
  }
  return Z_BEST_COMPRESSION;
}

uint8_t Percent(int64_t part, int64_t whole) {
  if (whole == 0) return 0;
  const double value =
      std::nearbyint(static_cast<double>(part) / static_cast<double>(whole) * 100.0);
  if (!(value >= 0)) return 0;
  if (value > 255) return 255;
  return static_cast<uint8_t>(value);
}

// ---------------------------------------------------------------------------------------------
// Path pieces

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
}  // namespace

std::string PathFileNamePart(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) --i;
  return path.substr(i);
}

std::string PathDirectoryPart(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) --i;
  if (i == 0) return std::string();
  // Keep the separator of a root ("C:\", "\") and the drive colon.
  if (path[i - 1] == ':') return path.substr(0, i);
  if (i == 1 || (i == 3 && path[1] == ':')) return path.substr(0, i);
  return path.substr(0, i - 1);
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) {
    if (path[i - 1] == '.') return path.substr(0, i - 1) + extension;
    --i;
  }
  return path + extension;
}

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string TrimBlanks(const std::string& text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string LineFileName(const std::string& line) { return line.substr(0, line.find(';')); }

namespace {

// The capital of a letter as Windows compares file names: one letter for another, never two
// (no "SS" for a sharp s), for the letters of the ANSI code pages (Latin, Greek, Cyrillic,
// Vietnamese) and the full-width Latin ones of the Far East. The dotless i and the long s keep
// their form: which capital they take depends on the language.
char32_t CapitalOf(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return c - 0x20;
  }
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17E && c != 0x131 && c != 0x138 && c != 0x149) {
    // Capital and small letter side by side: the capital is even, except from U+0139 to U+0148
    // and from U+0179 on.
    const bool odd_capitals = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    return ((c & 1) != 0) != odd_capitals ? c - 1 : c;
  }
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c == 0x491 || c == 0x1A1 || c == 0x1B0) return c - 1;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

// The text with every letter in its capital form; bytes that are no UTF-8 stay as they are.
std::string CapitalText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    if (const auto code = DecodeUtf8(text, &at)) {
      AppendUtf8(out, CapitalOf(*code));
    } else {
      out.append(text, start, at - start);
    }
  }
  return out;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (!IsAscii(a) || !IsAscii(b)) return CapitalText(a) == CapitalText(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string VolumeFileName(const std::string& name, int volume) {
  std::string extension(1, '.');
  extension += std::to_string(volume);
  return ReplaceExtension(name, extension);
}

// ---------------------------------------------------------------------------------------------
// TFileHeader

namespace {

// Cuts a text to at most `limit` bytes without splitting a UTF-8 character.
std::string CutText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void PutShortString(uint8_t* at, const std::string& text, size_t limit) {
  const std::string cut = CutText(text, limit);
  at[0] = static_cast<uint8_t>(cut.size());
  std::memcpy(at + 1, cut.data(), cut.size());
}

std::string GetShortString(const uint8_t* at, size_t limit) {
  const size_t length = std::min<size_t>(at[0], limit);
  return std::string(reinterpret_cast<const char*>(at + 1), length);
}

inline constexpr char kNameOutsideCodePage[] =
    "The name %s cannot be stored in an archive: the code page of this system (%d) has no place "
    "for one of its characters";

// A member name as the record holds it: in the system's ANSI code page, as the readers of the
// format expect, never in another form of the text. ASCII reads the same in every code page.
std::string StoredName(const std::string& name) {
  if (IsAscii(name)) return name;
  auto& system = platform::Port().System();
  auto ansi = system.ToAnsi(name);
  // The system would put its default character in place: another name, never found again.
  if (!ansi) {
    throw ETmbyCompress(kNameOutsideCodePage, {name, static_cast<int>(system.AnsiCodePage())});
  }
  return *ansi;
}

// The stored form of `text` cut to a field of `limit` bytes, whole characters only: in the code
// page a character may take one byte or two.
template <typename Store>
std::string StoredInField(std::string text, size_t limit, Store store) {
  std::string stored = store(text);
  while (stored.size() > limit) {
    text = CutText(text, text.size() - 1);
    stored = store(text);
  }
  return stored;
}

std::string StoredNameInField(const std::string& name) {
  return StoredInField(name, kMemberNameLength, StoredName);
}

// The version string goes into the code page as the name does; it is only compared, never
// looked up, so a character the code page cannot hold ends it there rather than the build.
std::string StoredVersionInField(const std::string& version) {
  return StoredInField(version, kMemberVersionLength, [](const std::string& text) {
    if (IsAscii(text)) return text;
    std::string kept = text;
    std::optional<std::string> ansi;
    while (!kept.empty() && !(ansi = platform::Port().System().ToAnsi(kept))) {
      kept = CutText(kept, kept.size() - 1);
    }
    return ansi.value_or(std::string());
  });
}

std::string NameFromRecord(const std::string& stored) {
  if (IsAscii(stored)) return stored;
  auto name = platform::Port().System().FromAnsi(stored);
  // Bytes that are no text of the code page (a broken double-byte character).
  if (!name) throw ETmbyCompress(msg::kCorrupt);
  return *name;
}

// Another writer may have cut a double-byte character of the version in two at the field's end:
// the version then ends before it.
std::string VersionFromRecord(const std::string& stored) {
  if (IsAscii(stored)) return stored;
  auto& system = platform::Port().System();
  if (auto version = system.FromAnsi(stored)) return *version;
  if (auto version = system.FromAnsi(stored.substr(0, stored.size() - 1))) return *version;
  throw ETmbyCompress(msg::kCorrupt);
}

}  // namespace

TFileHeader::Record TFileHeader::Encode() const {
  Record r{};
  PutInt32(&r[hdr::kMemberNumber], MemberNumber);
  PutFloat64(&r[hdr::kFileDate], FileDate);
  r[hdr::kEndVolume] = EndVolume;
  PutInt32(&r[hdr::kEndPosition], EndPosition);
  PutShortString(&r[hdr::kFileName], StoredNameInField(FileName), kMemberNameLength);
  PutInt32(&r[hdr::kNextHeader], NextHeader);
  PutInt32(&r[hdr::kOriginalSize], OriginalSize);
  PutInt32(&r[hdr::kDataStart], DataStart);
  PutInt32(&r[hdr::kCompressedSize], CompressedSize);
  r[hdr::kStartVolume] = StartVolume;
  PutInt32(&r[hdr::kMemberIndex], MemberIndex);
  PutShortString(&r[hdr::kFileVersion], StoredVersionInField(FileVersion), kMemberVersionLength);
  return r;
}

void TFileHeader::Decode(const Record& r) {
  MemberNumber = GetInt32(&r[hdr::kMemberNumber]);
  FileDate = GetFloat64(&r[hdr::kFileDate]);
  EndVolume = r[hdr::kEndVolume];
  EndPosition = GetInt32(&r[hdr::kEndPosition]);
  FileName = NameFromRecord(GetShortString(&r[hdr::kFileName], kMemberNameLength));
  NextHeader = GetInt32(&r[hdr::kNextHeader]);
  OriginalSize = GetInt32(&r[hdr::kOriginalSize]);
  DataStart = GetInt32(&r[hdr::kDataStart]);
  CompressedSize = GetInt32(&r[hdr::kCompressedSize]);
  StartVolume = r[hdr::kStartVolume];
  MemberIndex = GetInt32(&r[hdr::kMemberIndex]);
  FileVersion = VersionFromRecord(GetShortString(&r[hdr::kFileVersion], kMemberVersionLength));
}

std::unique_ptr<IFile> TFileHeader::FillFromFile(const std::string& line) {
  const std::string path = LineFileName(line);
  // The member is found again by its whole source path: one cut to the field could never be.
  // The field holds the path in the code page, where a character may take one byte or two.
  if (StoredName(path).size() > static_cast<size_t>(kMemberNameLength)) {
    throw ETmbyCompress(
        "The path %s is longer than the %d characters that an archive member name can hold",
        {path, kMemberNameLength});
  }
  FileName = path;
  SourcePath = path;
  auto& files = platform::Port().Files();
  auto file =
      files.Open(path, FileAccess::Read, platform::kShareAll, FileDisposition::OpenExisting);
  if (!file) throw ETmbyCompress(msg::kCannotOpenFile, {path});
  const auto dos = file->GetDosTime();
  const auto days = dos ? DosDateTimeToDayCount(*dos) : std::nullopt;
  // A stamp without a DOS form (before 1980) is recorded as the DOS epoch.
  FileDate = days ? *days : *DosDateTimeToDayCount(0x00210000);
  const auto size = file->Size();
  if (!size) throw ETmbyCompress(msg::kCannotOpenFile, {path});
  if (*size > std::numeric_limits<int32_t>::max()) {
    throw ETmbyCompress(msg::kFileTooLarge, {path});
  }
  OriginalSize = static_cast<int32_t>(*size);
  FileVersion = std::string(Utf8Prefix(MemberFileVersion(path, *file), kMemberVersionLength));
  return file;
}

bool TFileHeader::IsValid() const { return !TrimBlanks(FileName).empty(); }

void TFileHeader::ReadFrom(IFile& stream) {
  Record r;
  if (ReadFully(stream, r.data(), r.size()) != r.size()) throw ETmbyCompress(msg::kCorrupt);
  Decode(r);
  Loaded = true;
}

void TFileHeader::WriteTo(IFile& stream) const {
  const Record r = Encode();
  if (!stream.Write(r.data(), r.size())) throw ETmbyCompress(msg::kCannotWriteHeaders);
}

// ---------------------------------------------------------------------------------------------
// TFileHeaders

TFileHeader& TFileHeaders::Items(int index) {
  if (index < 0 || index >= Count()) throw ETmbyCompress(msg::kInvalidIndex, {index});
  totals_.reset();
  return items_[static_cast<size_t>(index)];
}

const TFileHeader& TFileHeaders::Items(int index) const {
  if (index < 0 || index >= Count()) throw ETmbyCompress(msg::kInvalidIndex, {index});
  return items_[static_cast<size_t>(index)];
}

void TFileHeaders::Add(const TFileHeader& header) {
  if (!header.IsValid()) throw ETmbyCompress(msg::kInvalidHeader);
  items_.push_back(header);
  totals_.reset();
}

void TFileHeaders::BuildFromFileList(const std::vector<std::string>& lines, bool append,
                                     std::vector<std::unique_ptr<IFile>>* sources) {
  if (!append) Clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    TFileHeader header;
    auto source = header.FillFromFile(lines[i]);
    if (sources != nullptr) sources->push_back(i < kHeldSources ? std::move(source) : nullptr);
    header.MemberNumber = static_cast<int32_t>(i + 1);
    Add(header);
  }
}

int TFileHeaders::IndexOf(const std::string& name) const {
  const std::string wanted = LineFileName(name);
  for (; indexed_ < items_.size(); ++indexed_) {
    by_name_.emplace(CapitalText(items_[indexed_].FileName), static_cast<int>(indexed_));
  }
  const auto it = by_name_.find(CapitalText(wanted));
  if (it != by_name_.end() && SameTextIgnoringCase(items_[it->second].FileName, wanted)) {
    return it->second;
  }
  // Not indexed as it is named now (a name changed through Items): search.
  for (size_t i = 0; i < items_.size(); ++i) {
    if (SameTextIgnoringCase(items_[i].FileName, wanted)) return static_cast<int>(i);
  }
  return -1;
}

void TFileHeaders::ReadFrom(IFile& stream, int64_t offset) {
  Clear();
  uint8_t head[kArchiveHeadSize];
  if (offset < 0 || !stream.Seek(offset, SeekOrigin::Begin) ||
      ReadFully(stream, head, sizeof head) != sizeof head) {
    throw ETmbyCompress(msg::kCannotReadCount);
  }
  const int32_t count = GetInt32(head);
  MultiVolume = head[4] != 0;
  // Every header takes 176 bytes of the file: a count the file cannot hold is a corrupt head, and
  // refusing it here keeps a hostile count from driving the loop below.
  const auto size = stream.Size();
  if (!size || count < 0 ||
      static_cast<int64_t>(count) * kFileHeaderSize > *size - offset - kArchiveHeadSize) {
    throw ETmbyCompress(msg::kCorrupt);
  }
  // The chain may run through the file in any order (other writers lay headers out as they
  // like); a header met a second time would make a loop, so each position is read once.
  std::unordered_set<int64_t> visited;
  int64_t position = kArchiveHeadSize;
  for (int32_t i = 0; i < count; ++i) {
    if (position < kArchiveHeadSize || !visited.insert(position).second ||
        !stream.Seek(offset + position, SeekOrigin::Begin)) {
      throw ETmbyCompress(msg::kCorrupt);
    }
    TFileHeader header;
    header.ReadFrom(stream);
    Add(header);
    position = header.NextHeader;
  }
}

void TFileHeaders::WriteTo(IFile& stream) {
  uint8_t head[kArchiveHeadSize];
  PutInt32(head, Count());
  head[4] = MultiVolume ? 1 : 0;
  if (!stream.Seek(0, SeekOrigin::Begin) || !stream.Write(head, sizeof head)) {
    throw ETmbyCompress(msg::kCannotWriteHeaders);
  }
  if (!MultiVolume) return;
  int64_t position = kArchiveHeadSize;
  for (auto& header : items_) {
    header.NextHeader = static_cast<int32_t>(position + kFileHeaderSize);
    header.WriteTo(stream);
    position += kFileHeaderSize;
  }
}

void TFileHeaders::SumTotals(TlzhFileStats& stats) const {
  if (!totals_) {
    int64_t original = 0;
    int64_t compressed = 0;
    for (const auto& header : items_) {
      original += header.OriginalSize;
      compressed += header.CompressedSize;
    }
    totals_.emplace(original, compressed);
  }
  stats.TotalOriginal = ClampInt32(totals_->first);
  stats.TotalCompressed = ClampInt32(totals_->second);
}

// ---------------------------------------------------------------------------------------------
// Self-extracting trailer

namespace {

inline constexpr char kCannotReadRecord[] =
    "Could not read the extraction info from the archive file %s when trying to find the correct "
    "offset into the self extracting file";
inline constexpr char kCannotLoadArchive[] =
    "Cannot create the self-extracting exe because %s could not be loaded onto %s";
inline constexpr char kCannotAddTrailer[] = "Cannot add the self-extract info header to %s";
inline constexpr int kTrailerDistance = kSelfExtractRecordSize + kCheckSumSize;

// Copies the whole of `source` to the end of `exe`; returns the offsets of its first and last
// byte there.
std::pair<int64_t, int64_t> AppendWhole(IFile& exe, const std::string& exe_name,
                                        const std::string& source) {
  auto& files = platform::Port().Files();
  auto in =
      files.Open(source, FileAccess::Read, platform::kShareAll, FileDisposition::OpenExisting);
  const auto expected = in ? in->Size() : std::nullopt;
  int64_t start = 0;
  if (!expected || !exe.Seek(0, SeekOrigin::End, &start)) {
    throw IEInstall(kCannotLoadArchive, {source, exe_name});
  }
  std::vector<uint8_t> buffer(64 * 1024);
  int64_t copied = 0;
  for (;;) {
    size_t got = 0;
    if (!in->Read(buffer.data(), buffer.size(), &got)) break;
    if (got == 0) break;
    if (!exe.Write(buffer.data(), got)) break;
    copied += static_cast<int64_t>(got);
  }
  if (copied != *expected || start + copied - 1 > std::numeric_limits<int32_t>::max()) {
    throw IEInstall(kCannotLoadArchive, {source, exe_name});
  }
  return {start, start + copied - 1};
}

void AppendRecord(IFile& exe, const std::string& exe_name, const TSelfExtractRecord& record) {
  const auto bytes = record.Encode();
  if (!exe.Seek(0, SeekOrigin::End) || !exe.Write(bytes.data(), bytes.size())) {
    throw IEInstall(kCannotAddTrailer, {exe_name});
  }
}

std::unique_ptr<IFile> OpenForAppend(const std::string& exe, const char* failure,
                                     const std::string& other) {
  auto file = platform::Port().Files().Open(exe, FileAccess::ReadWrite, platform::kShareRead,
                                            FileDisposition::OpenExisting);
  if (!file) {
    if (other.empty()) throw IEInstall(failure, {exe});
    throw IEInstall(failure, {other, exe});
  }
  return file;
}

}  // namespace

std::array<uint8_t, kSelfExtractRecordSize> TSelfExtractRecord::Encode() const {
  std::array<uint8_t, kSelfExtractRecordSize> b{};
  PutShortString(&b[0], Signature, 15);
  PutInt32(&b[16], SetupStart);
  PutInt32(&b[20], SetupEnd);
  PutInt32(&b[24], FilesStart);
  PutInt32(&b[28], FilesEnd);
  return b;
}

TSelfExtractRecord TSelfExtractRecord::Decode(
    const std::array<uint8_t, kSelfExtractRecordSize>& b) {
  TSelfExtractRecord r;
  r.Signature = GetShortString(&b[0], 15);
  r.SetupStart = GetInt32(&b[16]);
  r.SetupEnd = GetInt32(&b[20]);
  r.FilesStart = GetInt32(&b[24]);
  r.FilesEnd = GetInt32(&b[28]);
  return r;
}

TSelfExtractRecord AppendSelfExtractArchives(const std::string& exe, const std::string& setup1,
                                             const std::string& files1) {
  auto file = OpenForAppend(exe, kCannotLoadArchive, setup1);
  TSelfExtractRecord record;
  record.Signature = kSelfExtracting;
  const auto setup = AppendWhole(*file, exe, setup1);
  record.SetupStart = static_cast<int32_t>(setup.first);
  record.SetupEnd = static_cast<int32_t>(setup.second);
  if (!files1.empty() && platform::Port().Files().FileExists(files1)) {
    const auto files = AppendWhole(*file, exe, files1);
    record.FilesStart = static_cast<int32_t>(files.first);
    record.FilesEnd = static_cast<int32_t>(files.second);
  }
  AppendRecord(*file, exe, record);
  return record;
}

void AppendNotSelfExtractTrailer(const std::string& exe) {
  auto file = OpenForAppend(exe, kCannotAddTrailer, std::string());
  TSelfExtractRecord record;
  record.Signature = kNotSelfExtract;
  AppendRecord(*file, exe, record);
}

std::string FileCheckSum(const std::string& path) {
  auto file = platform::Port().Files().Open(path, FileAccess::Read, platform::kShareAll,
                                            FileDisposition::OpenExisting);
  if (!file) throw IEInstall("Can't find file \"%s\"!", {path});
  ShaDigest digest(ShaVariant::Sha0);
  std::vector<uint8_t> buffer(64 * 1024);
  for (;;) {
    size_t got = 0;
    if (!file->Read(buffer.data(), buffer.size(), &got)) {
      throw IEInstall("Can't find file \"%s\"!", {path});
    }
    if (got == 0) break;
    digest.Update(buffer.data(), got);
  }
  return digest.FinalHex();
}

void AppendCheckSum(const std::string& exe) {
  const std::string sum = FileCheckSum(exe);
  if (sum.size() != kCheckSumSize) throw IEInstall("Can't calculete CheckSum");
  auto file = OpenForAppend(exe, kCannotAddTrailer, std::string());
  if (!file->Seek(0, SeekOrigin::End) || !file->Write(sum.data(), sum.size())) {
    throw IEInstall(kCannotAddTrailer, {exe});
  }
}

TSelfExtractRecord ReadSelfExtractRecord(const std::string& file_name) {
  auto file = platform::Port().Files().Open(file_name, FileAccess::Read, platform::kShareAll,
                                            FileDisposition::OpenExisting);
  const auto size = file ? file->Size() : std::nullopt;
  std::array<uint8_t, kSelfExtractRecordSize> bytes{};
  if (!size || *size < kTrailerDistance ||
      !file->Seek(*size - kTrailerDistance, SeekOrigin::Begin) ||
      ReadFully(*file, bytes.data(), bytes.size()) != bytes.size()) {
    throw IEInstall(kCannotReadRecord, {file_name});
  }
  TSelfExtractRecord record = TSelfExtractRecord::Decode(bytes);
  // The archives lie before the trailer: offsets that point elsewhere would send the readers
  // outside the file.
  const int64_t limit = *size - kTrailerDistance;
  auto in_file = [&](int64_t start, int64_t end) {
    if (start == 0 && end == 0) return true;
    return start >= 0 && start + kArchiveHeadSize - 1 <= end && end < limit;
  };
  if (!in_file(record.SetupStart, record.SetupEnd) ||
      !in_file(record.FilesStart, record.FilesEnd)) {
    throw IEInstall(kCannotReadRecord, {file_name});
  }
  return record;
}

}  // namespace tmby
