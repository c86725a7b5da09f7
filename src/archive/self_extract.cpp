#include "archive/self_extract.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "archive/archive_io.h"
#include "archive/tmby_compress.h"
#include "base/path_text.h"
#include "base/sha.h"
#include "platform/port.h"

namespace tmby {

using platform::FileAccess;
using platform::FileDisposition;
using platform::IFile;
using platform::SeekOrigin;

namespace {

constexpr int kTailSize = kSelfExtractRecordSize + kCheckSumSize;
constexpr size_t kPassBuffer = 64 * 1024;

constexpr char kDamaged[] =
    "The file \"%s\" is damaged or incomplete (%s). Please download or copy the installation "
    "again.";
constexpr char kNoTrailer[] = "its setup information at the end of the file is missing";
constexpr char kBadTrailer[] = "its setup information does not describe the file";
constexpr char kBadCheckSum[] = "its checksum does not match its contents";
constexpr char kBadSetupArchive[] = "its setup archive cannot be read";
constexpr char kNoEngine[] = "its setup archive holds no setup program";
constexpr char kCannotOpen[] = "Cannot open the setup program \"%s\": %s";
constexpr char kCannotRead[] = "Cannot read the setup program \"%s\": %s";
constexpr char kNoSetupArchive[] =
    "The setup archive \"%s\" was not found beside the setup program. Copy the whole "
    "installation (setup.exe, setup.1 and files.1) again, or insert its first disk.";
constexpr char kCannotCreateFolder[] = "Cannot create a temporary folder in \"%s\": %s";
constexpr char kCannotUnpack[] = "Cannot unpack the setup program into \"%s\": %s";

platform::IFileSystem& Files() { return platform::Port().Files(); }

std::string ErrorText(uint32_t code) {
  std::string text = platform::Port().System().ErrorText(code);
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

[[noreturn]] void Damaged(const std::string& file, const char* reason) {
  throw ELoaderDamaged(kDamaged, {file, reason});
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool IsHexDigest(const std::string& text) {
  return text.size() == static_cast<size_t>(kCheckSumSize) &&
         std::all_of(text.begin(), text.end(), IsHexDigit);
}

TSelfExtractRecord RecordAt(const std::vector<uint8_t>& tail, size_t at) {
  std::array<uint8_t, kSelfExtractRecordSize> bytes{};
  std::copy_n(tail.begin() + static_cast<std::ptrdiff_t>(at), bytes.size(), bytes.begin());
  return TSelfExtractRecord::Decode(bytes);
}

// The archives of a self-extracting file lie one after the other from the end of the loader up
// to the trailer, exactly as the build appends them; offsets that say anything else belong to a
// damaged file and would send the copy of setup.1 outside it.
bool DescribesLayout(const TSelfExtractRecord& r, int64_t trailer_at) {
  const int64_t setup_start = r.SetupStart;
  const int64_t setup_end = r.SetupEnd;
  const int64_t files_start = r.FilesStart;
  const int64_t files_end = r.FilesEnd;
  if (setup_start <= 0 || setup_end < setup_start + kArchiveHeadSize - 1) return false;
  if (files_start == 0 && files_end == 0) return setup_end + 1 == trailer_at;
  return files_start == setup_end + 1 && files_end >= files_start + kArchiveHeadSize - 1 &&
         files_end + 1 == trailer_at;
}

std::string CreateFolder(const std::string& temp_dir, uint32_t seed) {
  auto& files = Files();
  const std::string base = WithTrailingBackslash(temp_dir);
  uint32_t error = platform::err::kPathNotFound;
  for (uint32_t i = 0; i <= 0xFFFF; ++i) {
    const std::string path = base + LoaderFolderName(seed + i);
    // A name in use, even by a file, is never taken over: the folder must hold only what the
    // loader put there, because the engine deletes it whole at the end.
    if (files.FileExists(path) || files.DirectoryExists(path)) continue;
    if (files.CreateDirectories(path)) return path;
    error = files.LastError();
    break;
  }
  throw ELoadingProgram(kCannotCreateFolder, {base, ErrorText(error)});
}

// The one pass over the file: the digest of everything before the checksum and, when `copy` is
// given, the bytes of the setup archive into it.
std::string ReadPass(IFile& in, const std::string& self, const TLoaderTail& tail, int64_t size,
                     IFile* copy, const std::string& folder, int64_t& bytes_read) {
  ShaDigest digest(ShaVariant::Sha0);
  std::vector<uint8_t> buffer(kPassBuffer);
  const int64_t hashed = size - kCheckSumSize;
  const int64_t first = tail.Record.SetupStart;
  const int64_t last = tail.Record.SetupEnd;
  if (!in.Seek(0, SeekOrigin::Begin))
    throw ELoadingProgram(kCannotRead, {self, ErrorText(in.LastError())});
  for (int64_t position = 0; position < hashed;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(buffer.size(), hashed - position));
    const size_t got = ReadFully(in, buffer.data(), want);
    if (got == 0) throw ELoadingProgram(kCannotRead, {self, ErrorText(in.LastError())});
    bytes_read += static_cast<int64_t>(got);
    digest.Update(buffer.data(), got);
    const int64_t end = position + static_cast<int64_t>(got);
    if (copy != nullptr && end > first && position <= last) {
      const int64_t from = std::max(position, first);
      const int64_t to = std::min(end, last + 1);
      if (!copy->Write(buffer.data() + (from - position), static_cast<size_t>(to - from))) {
        throw ELoadingProgram(kCannotUnpack, {folder, ErrorText(copy->LastError())});
      }
    }
    position = end;
  }
  return digest.FinalHex();
}

// Unpacks every member of the setup archive into the folder: the first member is the engine.
// Only the first member of each file name is taken, so a pre-setup file can never replace the
// engine.
void UnpackArchive(const std::string& archive, const std::string& shown_name, TUnpackedSetup& out) {
  TTmbyCompress unpacker;
  unpacker.SetCompressedFile(archive);
  unpacker.ExtractDirectory = out.Folder;
  unpacker.Overwrite = owAlways;
  try {
    unpacker.LoadHeaders();
  } catch (const ETmbyCompress&) {
    Damaged(shown_name, kBadSetupArchive);
  }
  const TFileHeaders& headers = unpacker.Headers();
  if (headers.Count() == 0) Damaged(shown_name, kNoEngine);
  std::vector<std::string> names;
  std::vector<std::string> taken;
  for (int i = 0; i < headers.Count(); ++i) {
    const std::string& name = headers.Items(i).FileName;
    const std::string file = PathFileNamePart(name);
    const bool seen = std::any_of(taken.begin(), taken.end(), [&](const std::string& t) {
      return SameTextIgnoringCase(t, file);
    });
    if (seen) continue;
    taken.push_back(file);
    names.push_back(name);
    out.Files.push_back(out.Folder + "\\" + file);
  }
  unpacker.SetFilesToProcess(names);
  try {
    unpacker.Extract();
  } catch (const Exception& error) {
    throw ELoadingProgram(kCannotUnpack, {out.Folder, error.Message()});
  }
  out.Engine = out.Files.front();
  if (!Files().FileExists(out.Engine)) {
    throw ELoadingProgram(kCannotUnpack, {out.Folder, out.Engine});
  }
}

// Quotes an argument for the Windows argument splitting: backslashes are literal except before a
// quote, where they are doubled, and a quote inside is escaped.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

std::string LoaderFolderName(uint32_t number) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name = kLoaderFolderPrefix;
  for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(number >> shift) & 0xF];
  return name;
}

bool IsLoaderFolderName(const std::string& name) {
  const std::string prefix = kLoaderFolderPrefix;
  return name.size() == prefix.size() + 4 &&
         SameTextIgnoringCase(name.substr(0, prefix.size()), prefix) &&
         std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     IsHexDigit);
}

bool IsInLoaderFolder(const std::string& program) {
  auto& files = Files();
  const std::string folder = PathDirectoryPart(program);
  if (!IsLoaderFolderName(PathFileNamePart(folder))) return false;
  const std::optional<std::string> temp = files.TempPath();
  if (!temp) return false;
  const std::string parent = PathDirectoryPart(folder);
  auto same = [](const std::string& a, const std::string& b) {
    return SameTextIgnoringCase(ExcludeTrailingBackslash(a), ExcludeTrailingBackslash(b));
  };
  if (same(parent, *temp)) return true;
  // One side may name the temporary folder in its short form and the other in its long form.
  const auto short_parent = files.ShortPathName(parent);
  const auto short_temp = files.ShortPathName(*temp);
  return short_parent && short_temp && same(*short_parent, *short_temp);
}

TLoaderTail ParseLoaderTail(const std::string& file, int64_t size,
                            const std::vector<uint8_t>& tail) {
  TLoaderTail out;
  bool found = false;
  if (size >= kTailSize && tail.size() >= static_cast<size_t>(kTailSize)) {
    const TSelfExtractRecord record = RecordAt(tail, tail.size() - kTailSize);
    const std::string sum(tail.end() - kCheckSumSize, tail.end());
    if ((record.Signature == kSelfExtracting || record.Signature == kNotSelfExtract) &&
        IsHexDigest(sum)) {
      out.Record = record;
      out.HasCheckSum = true;
      out.CheckSum = sum;
      found = true;
    }
  }
  // A loader copied to a disk by the floppy transfer ends with the trailer alone.
  if (!found && size >= kSelfExtractRecordSize &&
      tail.size() >= static_cast<size_t>(kSelfExtractRecordSize)) {
    const TSelfExtractRecord record = RecordAt(tail, tail.size() - kSelfExtractRecordSize);
    if (record.Signature == kNotSelfExtract) {
      out.Record = record;
      found = true;
    }
  }
  if (!found) Damaged(file, kNoTrailer);
  out.SelfExtracting = out.Record.Signature == kSelfExtracting;
  const TSelfExtractRecord& r = out.Record;
  if (out.SelfExtracting) {
    if (!DescribesLayout(r, size - kTailSize)) Damaged(file, kBadTrailer);
  } else if (r.SetupStart != 0 || r.SetupEnd != 0 || r.FilesStart != 0 || r.FilesEnd != 0) {
    Damaged(file, kBadTrailer);
  }
  return out;
}

TUnpackedSetup UnpackSetup(const std::string& self, const std::string& temp_dir, uint32_t seed) {
  auto& files = Files();
  TUnpackedSetup out;
  const std::string self_dir = PathDirectoryPart(self);
  out.SourceDir = ExcludeTrailingBackslash(self_dir);
  auto in = files.Open(self, FileAccess::Read, platform::kShareRead, FileDisposition::OpenExisting);
  if (!in) throw ELoadingProgram(kCannotOpen, {self, ErrorText(files.LastError())});
  const std::optional<int64_t> size = in->Size();
  if (!size) throw ELoadingProgram(kCannotRead, {self, ErrorText(in->LastError())});
  std::vector<uint8_t> tail(static_cast<size_t>(std::min<int64_t>(*size, kTailSize)));
  if (!in->Seek(*size - static_cast<int64_t>(tail.size()), SeekOrigin::Begin) ||
      ReadFully(*in, tail.data(), tail.size()) != tail.size()) {
    throw ELoadingProgram(kCannotRead, {self, ErrorText(in->LastError())});
  }
  out.SelfBytesRead = static_cast<int64_t>(tail.size());
  const TLoaderTail trailer = ParseLoaderTail(self, *size, tail);

  out.Folder = CreateFolder(temp_dir, seed);
  try {
    std::string archive = WithTrailingBackslash(self_dir) + "setup.1";
    if (trailer.SelfExtracting) {
      out.SelfName = PathFileNamePart(self);
      const auto copy_name = files.CreateTempFile(out.Folder, "tmb");
      std::unique_ptr<IFile> copy;
      if (copy_name) {
        copy = files.Open(*copy_name, FileAccess::Write, platform::kShareNone,
                          FileDisposition::CreateAlways);
      }
      if (!copy) throw ELoadingProgram(kCannotUnpack, {out.Folder, ErrorText(files.LastError())});
      archive = *copy_name;
      const std::string sum =
          ReadPass(*in, self, trailer, *size, copy.get(), out.Folder, out.SelfBytesRead);
      copy.reset();
      if (!SameTextIgnoringCase(sum, trailer.CheckSum)) Damaged(self, kBadCheckSum);
    } else if (trailer.HasCheckSum) {
      const std::string sum =
          ReadPass(*in, self, trailer, *size, nullptr, out.Folder, out.SelfBytesRead);
      if (!SameTextIgnoringCase(sum, trailer.CheckSum)) Damaged(self, kBadCheckSum);
    }
    in.reset();
    if (!trailer.SelfExtracting && !files.FileExists(archive)) {
      throw ELoadingProgram(kNoSetupArchive, {archive});
    }
    UnpackArchive(archive, trailer.SelfExtracting ? self : archive, out);
    if (trailer.SelfExtracting) files.RemoveFile(archive);
  } catch (...) {
    in.reset();
    RemoveLoaderFolder(out.Folder);
    throw;
  }
  return out;
}

void RemoveLoaderFolder(const std::string& folder) {
  auto& files = Files();
  for (const platform::FindData& entry : files.FindFiles(WithTrailingBackslash(folder) + "*.*")) {
    if ((entry.attributes & platform::attr::kDirectory) == 0) {
      files.RemoveFile(WithTrailingBackslash(folder) + entry.name);
    }
  }
  files.RemoveDir(folder);
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  return Quoted(argument);
}

bool AsksForFloppies(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [](const std::string& a) { return SameTextIgnoringCase(a, "*TODISK"); });
}

std::string EngineCommandLine(const TUnpackedSetup& setup,
                              const std::vector<std::string>& arguments) {
  std::string line = Quoted(setup.Engine) + " " + Quoted("-s" + setup.SourceDir);
  if (!setup.SelfName.empty()) line += " " + Quoted("-e" + setup.SelfName);
  line += " -c";
  for (const std::string& argument : arguments) {
    line += " " + QuoteArgument(SameTextIgnoringCase(argument, "*TODISK") ? "-f" : argument);
  }
  return line;
}

}  // namespace tmby
