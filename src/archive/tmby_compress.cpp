#include "archive/tmby_compress.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <utility>

#include "archive/archive_io.h"
#include "base/dostime.h"
#include "base/exceptions.h"
#include "platform/port.h"

namespace tmby {

using platform::FileAccess;
using platform::FileDisposition;
using platform::IFile;
using platform::SeekOrigin;

namespace {

// Archive reads and inflate output per cycle while extracting. 64 KiB of output per cycle keeps
// the calls per megabyte (writes, progress reports, message runs) as few as with zlib used
// directly.
constexpr size_t kExtractBuffer = 64 * 1024;
constexpr size_t kCopyChunk = 8192;  // copying and splitting
// A member of up to two chunks is deflated whole, by one processor, as one stream; a larger one in
// chunks, each on the next free processor. A chunk ends in a sync flush (a few bytes) and starts
// afresh with its Huffman tables, so a chunk is large enough for that to count for nothing.
constexpr size_t kChunk = 128 * 1024;
constexpr size_t kWholeMember = 2 * kChunk;
constexpr size_t kDictionary = 32 * 1024;
// Sources read ahead and deflated before their turn, at most; what they hold is at most this many
// whole members.
constexpr size_t kReadAheadFiles = 6;
// Chunks of a large member on their way, per processor.
constexpr size_t kChunksPerProcessor = 2;
// While extracting, pending window messages run once per buffer, but not more often than this:
// an install of thousands of small files otherwise asked the system for its messages once per
// file, which cost more than the files' data. A window still repaints and hears Cancel at once
// as far as a user can tell.
constexpr auto kExtractPumpInterval = std::chrono::milliseconds(20);
constexpr uint32_t kShareReading = platform::kShareRead | platform::kShareWrite;
constexpr int kMaxVolume = 255;

constexpr char kAborted[] = "Operation aborted by user";
constexpr char kDiskFullText[] = "The disk is full";
constexpr char kCannotOpenArchive[] = "Cannot open the compressed file %s";
constexpr char kWrongDisk[] = "Could not open the correct disk file %d";
constexpr char kNotInArchive[] = "The file <%s> was not found in the archive <%s>";
constexpr char kCompareFailed[] = "Error comparing file versions in TTmbyCompress";
constexpr char kSizeMismatch[] =
    "The decompressed file's size does not match with the actual size of the file.  The file is "
    "%s";
constexpr char kCannotSetDate[] = "Cannot set the date of the file just extracted.";
constexpr char kNoNewDiskHandler[] =
    "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted";
constexpr char kTooLittleSpace[] = "There is too little space on this disk to operate";
constexpr char kUndefinedMember[] = "Tried to access the %dth file. This file is not defined";
constexpr char kNilDestFile[] = "AddStatus has Nil DestFile";
constexpr char kZlibError[] = "error";

platform::IFileSystem& Files() { return platform::Port().Files(); }

std::optional<int64_t> Position(IFile& file) {
  int64_t position = 0;
  if (!file.Seek(0, SeekOrigin::Current, &position)) return std::nullopt;
  return position;
}

// A member name reduced to its file-name part may still name no file: "", ".", "..", or only dots
// and blanks, which Windows trims away. Such a name would reach the extraction directory itself
// or its parent.
bool IsUsableFileName(const std::string& name) {
  return name.find_first_not_of(". ") != std::string::npos;
}

// The directory part of a volume path as the new-disk event receives it: no trailing backslash.
std::string DiskDirectory(const std::string& name) {
  std::string dir = PathDirectoryPart(name);
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

}  // namespace

// The inflate stream and the buffers of the component, made once and reset for each member:
// making them anew for every member would cost more than extracting a small file.
struct TTmbyCompress::ZState {
  z_stream z{};
  bool ready = false;
  std::vector<uint8_t> in = std::vector<uint8_t>(kExtractBuffer);
  std::vector<uint8_t> out = std::vector<uint8_t>(kExtractBuffer);

  ~ZState() { End(); }
  void End() {
    if (ready) inflateEnd(&z);
    ready = false;
    z = z_stream{};
  }
  // A reset keeps the input pointers: input left over from a member that failed is dropped.
  z_stream& Inflater() {
    if (ready && inflateReset(&z) == Z_OK) {
      z.next_in = nullptr;
      z.avail_in = 0;
      return z;
    }
    End();
    if (inflateInit(&z) != Z_OK) throw Exception(kZlibError);
    ready = true;
    return z;
  }
};

TTmbyCompress::TTmbyCompress()
    : member_table_(kMemberIndexTableSize, -1), z_(std::make_unique<ZState>()) {}

TTmbyCompress::~TTmbyCompress() = default;

void TTmbyCompress::SetCompressedFile(const std::string& name) {
  if (SameTextIgnoringCase(name, compressed_file_)) return;
  Close();
  archive_end_ = 0;
  if (headers_loaded_ && !SameTextIgnoringCase(ReplaceExtension(name, ".1"),
                                               ReplaceExtension(compressed_file_, ".1"))) {
    headers_loaded_ = false;
  }
  compressed_file_ = name;
}

void TTmbyCompress::SetFilesToProcess(const std::vector<std::string>& lines) {
  files_to_process_.clear();
  for (const auto& line : lines) {
    if (!TrimBlanks(line).empty()) files_to_process_.push_back(line);
  }
}

void TTmbyCompress::DiskFull() {
  if (OnFullDisk) {
    OnFullDisk(*this);
    return;
  }
  throw EtcDiskFull(kDiskFullText);
}

// ---------------------------------------------------------------------------------------------
// Headers and the progress record

void TTmbyCompress::LoadHeaders() {
  auto& files = Files();
  std::unique_ptr<IFile> file;
  if (files.FileExists(compressed_file_)) {
    file = files.Open(compressed_file_, FileAccess::Read, kShareReading,
                      FileDisposition::OpenExisting);
  }
  if (!file) throw ETmbyCompress(kCannotOpenArchive, {compressed_file_});
  // Headers read afresh describe the file as it is now: a volume held open from before goes.
  Close();
  archive_end_ = 0;
  std::fill(member_table_.begin(), member_table_.end(), -1);
  headers_loaded_ = false;
  try {
    headers_.ReadFrom(*file, Offset);
  } catch (const ETmbyCompress&) {
    throw ETmbyCompress(msg::kCorrupt);
  }
  for (int i = 0; i < headers_.Count(); ++i) {
    const int32_t id = headers_.Items(i).MemberIndex;
    if (id >= 0 && id < kMemberIndexTableSize) member_table_[static_cast<size_t>(id)] = i;
  }
  headers_loaded_ = true;
}

void TTmbyCompress::EnsureHeaders() {
  if (!headers_loaded_) LoadHeaders();
}

void TTmbyCompress::ResetStats() { stats_ = TlzhFileStats{}; }

void TTmbyCompress::FillStats(const TFileHeader& header) {
  stats_.FileName = header.FileName;
  stats_.OriginalSize = header.OriginalSize;
  stats_.CompressedSize = header.CompressedSize;
  stats_.FilePercent = 0;
  stats_.FileBytesDone = 0;
  stats_.Done = false;
  stats_.Ratio = Percent(header.CompressedSize, header.OriginalSize);
  stats_.Header = header;
}

void TTmbyCompress::SumTotals() {
  stats_.TotalBytesDone = 0;
  stats_.TotalPercent = 0;
  stats_.Done = false;
  headers_.SumTotals(stats_);
  stats_.TotalRatio = Percent(stats_.TotalCompressed, stats_.TotalOriginal);
}

void TTmbyCompress::RaiseStatus() {
  if (OnStatus) OnStatus(*this, stats_);
}

void TTmbyCompress::AddProgress(int64_t bytes, int64_t file_whole, int64_t total_whole) {
  stats_.FileBytesDone = ClampInt32(stats_.FileBytesDone + bytes);
  stats_.TotalBytesDone = ClampInt32(stats_.TotalBytesDone + bytes);
  stats_.FilePercent = Percent(stats_.FileBytesDone, file_whole);
  stats_.TotalPercent = Percent(stats_.TotalBytesDone, total_whole);
  RaiseStatus();
}

void TTmbyCompress::CheckAbort() {
  if (Abort) throw EtcAborted(kAborted);
}

void TTmbyCompress::ProcessMessages() { platform::Port().System().ProcessMessages(); }

int TTmbyCompress::GetMemberCount() {
  if (!headers_loaded_ && operation_ != Operation::Compressing) LoadHeaders();
  return headers_.Count();
}

void TTmbyCompress::GetMemberStats(int index, TlzhFileStats& stats) {
  EnsureHeaders();
  if (index < 0 || index >= headers_.Count()) throw ETmbyCompress(kUndefinedMember, {index});
  ResetStats();
  SumTotals();
  FillStats(headers_.Items(index));
  stats = stats_;
}

int TTmbyCompress::IndexOfMember(int member_index) {
  EnsureHeaders();
  if (member_index < 0 || member_index >= kMemberIndexTableSize) return -1;
  return member_table_[static_cast<size_t>(member_index)];
}

void TTmbyCompress::ListMembers() {
  EnsureHeaders();
  ResetStats();
  SumTotals();
  for (int i = 0; i < headers_.Count(); ++i) {
    FillStats(headers_.Items(i));
    if (OnListing) OnListing(*this, stats_);
  }
}

// ---------------------------------------------------------------------------------------------
// Compress

void TTmbyCompress::Compress(bool append, int member_index) {
  Abort = false;
  // A build appends file after file to one archive: the archive this component wrote last stays
  // open for the next append (Close lets it go), as opening it again cost calls per file.
  if (!append || !archive_writable_) Close();
  operation_ = Operation::Compressing;
  headers_.MultiVolume = false;
  Offset = 0;
  const std::vector<std::string> lines = files_to_process_;
  // What the archive holds intact so far: a failure cuts it back to this head and length. Until
  // the first write they are unknown (an existing archive not yet read whole), and a failure
  // then leaves the file exactly as it was.
  bool written = false;
  uint8_t consistent_head[kArchiveHeadSize] = {};
  int64_t consistent_end = kArchiveHeadSize;
  auto finish = [&](bool failed) {
    if (failed) Close();
    files_to_process_.clear();
    operation_ = Operation::None;
    headers_loaded_ = false;
  };
  auto roll_back = [&] {
    headers_.Clear();
    archive_end_ = 0;
    if (!archive_ || !written) return;
    if (archive_->Seek(0, SeekOrigin::Begin) &&
        archive_->Write(consistent_head, sizeof consistent_head) &&
        archive_->Seek(consistent_end, SeekOrigin::Begin)) {
      archive_->SetEnd();
    }
  };
  try {
    auto& files = Files();
    const std::string dir = PathDirectoryPart(compressed_file_);
    if (!dir.empty()) files.CreateDirectories(dir);
    // The sources stay open from their description to their compression.
    std::vector<std::unique_ptr<IFile>> sources;
    if (append && (archive_ || files.FileExists(compressed_file_))) {
      if (!archive_) {
        archive_ = files.Open(compressed_file_, FileAccess::ReadWrite, kShareReading,
                              FileDisposition::OpenExisting);
      }
      if (!archive_) throw ETmbyCompress(msg::kCannotCreateFile, {compressed_file_});
      const std::optional<int64_t> size = archive_->Size();
      if (!size || !archive_->Seek(0, SeekOrigin::Begin) ||
          ReadFully(*archive_, consistent_head, sizeof consistent_head) != kArchiveHeadSize) {
        throw ETmbyCompress(msg::kCorrupt);
      }
      // The headers this component wrote last still describe the archive while it has their
      // count and the length they left it with: a build appends file after file to one archive,
      // and reading every earlier header again for each made it slower with every file.
      const bool known = archive_end_ > 0 && *size == archive_end_ && consistent_head[4] == 0 &&
                         GetInt32(consistent_head) == headers_.Count();
      if (!known) {
        archive_end_ = 0;
        headers_.ReadFrom(*archive_, 0);
        // Members cannot be appended to a set of volumes.
        if (headers_.MultiVolume) throw ETmbyCompress(msg::kCannotCreateFile, {compressed_file_});
      }
      consistent_end = *size;
      headers_.BuildFromFileList(lines, true, &sources);
    } else {
      // The sources are looked at before an existing archive is replaced, so that a missing
      // source leaves the old archive as it was.
      headers_.BuildFromFileList(lines, false, &sources);
      // Shared as an existing archive is when appending: it stays open between appends.
      archive_ = files.Open(compressed_file_, FileAccess::ReadWrite, kShareReading,
                            FileDisposition::CreateAlways);
      if (!archive_) throw ETmbyCompress(msg::kCannotCreateFile, {compressed_file_});
    }
    headers_.MultiVolume = false;
    written = true;
    headers_.WriteTo(*archive_);
    if (!archive_->Seek(0, SeekOrigin::End)) throw ETmbyCompress(msg::kCannotWriteHeaders);
    ResetStats();
    SumTotals();
    stats_.TotalCompressed = 0;
    const int first_new = headers_.Count() - static_cast<int>(sources.size());
    for (int i = 0; i < headers_.Count(); ++i) {
      TFileHeader& header = headers_.Items(i);
      if (header.Loaded) continue;
      std::unique_ptr<IFile> source;
      if (i >= first_new) source = std::move(sources[static_cast<size_t>(i - first_new)]);
      CompressMember(header, *archive_, member_index, std::move(source));
      if (member_index >= 0 && member_index < kMemberIndexTableSize) {
        member_table_[static_cast<size_t>(member_index)] = i;
      }
      PutInt32(consistent_head, GetInt32(consistent_head) + 1);
      consistent_head[4] = 0;
      consistent_end = header.NextHeader;
      if (OnAfterAdding) OnAfterAdding(*this, stats_);
    }
    // Keep the count in step with the members written: there may be fewer than listed only if
    // a failure cut the run short, which the handlers below deal with.
    for (int i = 0; i < headers_.Count(); ++i) headers_.Items(i).Loaded = true;
    finish(false);
    archive_end_ = consistent_end;
    archive_writable_ = true;
    // An extraction from the archive just written finds it open, as long as it is.
    open_volume_ = 1;
    archive_size_ = consistent_end;
  } catch (const EtcAborted&) {
    roll_back();
    finish(true);
    if (OnAborted) OnAborted(*this);
  } catch (const EAbort&) {
    roll_back();
    finish(true);
  } catch (...) {
    Abort = true;
    roll_back();
    finish(true);
    throw;
  }
}

void TTmbyCompress::Close() {
  archive_.reset();
  archive_writable_ = false;
}

void TTmbyCompress::CompressMember(TFileHeader& header, IFile& archive, int member_index,
                                   std::unique_ptr<IFile> source) {
  const std::string source_name = header.SourcePath.empty() ? header.FileName : header.SourcePath;
  if (source && !source->Seek(0, SeekOrigin::Begin)) source.reset();
  if (!source) {
    source =
        Files().Open(source_name, FileAccess::Read, kShareReading, FileDisposition::OpenExisting);
  }
  if (!source) throw ETmbyCompress(msg::kCannotOpenFile, {source_name});

  const auto start = Position(archive);
  if (!start) throw ETmbyCompress(msg::kCannotWriteHeaders);
  const int64_t data_start = *start + kFileHeaderSize;
  if (data_start > std::numeric_limits<int32_t>::max()) {
    throw ETmbyCompress(msg::kFileTooLarge, {compressed_file_});
  }
  header.DataStart = static_cast<int32_t>(data_start);
  header.WriteTo(archive);
  archive_end_ = data_start;

  FillStats(header);
  stats_.CompressedSize = 0;
  if (OnBeforeAdding) OnBeforeAdding(*this, stats_);

  const int level = ZlibLevel(CompressionLevel);
  int64_t consumed = 0;
  const auto write = [&](const uint8_t* bytes, size_t size) {
    if (size != 0 && !archive.Write(bytes, size)) throw EtcDiskFull(kDiskFullText);
    archive_end_ += static_cast<int64_t>(size);
  };
  TDeflateWorkers& workers = Workers();
  // Up to `size` more bytes of the source; fewer only at its end.
  const auto read = [&](size_t size) {
    TByteBuffer bytes = workers.Buffer();
    bytes.resize(size);
    size_t total = 0;
    while (total < size) {
      size_t got = 0;
      if (!source->Read(bytes.data() + total, size - total, &got)) {
        throw ETmbyCompress(msg::kCannotOpenFile, {source_name});
      }
      if (got == 0) break;
      total += got;
    }
    bytes.resize(total);
    consumed += static_cast<int64_t>(total);
    if (consumed > std::numeric_limits<int32_t>::max()) {
      throw ETmbyCompress(msg::kFileTooLarge, {source_name});
    }
    return bytes;
  };

  std::shared_ptr<TDeflateJob> whole = TakeReadAhead(source_name, *source, level, consumed);
  TopUpReadAhead(level);
  if (!whole) {
    TByteBuffer first = read(kWholeMember);
    TByteBuffer more;
    if (first.size() == kWholeMember) more = read(kChunk);
    if (more.empty()) {
      whole = MemberJob(std::move(first), level);
      workers.Submit(whole);
    } else {
      CompressChunks(std::move(first), std::move(more), level, read, write);
    }
  }
  if (whole) {
    workers.Wait(whole);
    if (whole->failed) throw Exception(kZlibError);
    write(whole->output.data(), whole->output.size());
    workers.Recycle(*whole);
    whole.reset();
  }
  AddStatus(consumed);
  stats_.Ratio = Percent(stats_.CompressedSize, stats_.OriginalSize);
  stats_.Done = true;
  AddStatus(consumed);
  stats_.Done = false;

  const int64_t length = archive_end_ - data_start;
  if (archive_end_ > std::numeric_limits<int32_t>::max()) {
    throw ETmbyCompress(msg::kFileTooLarge, {compressed_file_});
  }
  // The size recorded is what was compressed, even when the file changed since it was listed.
  header.OriginalSize = static_cast<int32_t>(consumed);
  header.EndPosition = static_cast<int32_t>(archive_end_ - 1);
  header.NextHeader = static_cast<int32_t>(archive_end_);
  header.CompressedSize = stats_.CompressedSize;
  header.MemberIndex = member_index;
  stats_.TotalCompressed = ClampInt32(static_cast<int64_t>(stats_.TotalCompressed) + length);

  if (!archive.Seek(*start, SeekOrigin::Begin)) throw ETmbyCompress(msg::kCannotWriteHeaders);
  header.WriteTo(archive);
  if (!archive.Seek(0, SeekOrigin::End)) throw ETmbyCompress(msg::kCannotWriteHeaders);
}

std::shared_ptr<TDeflateJob> TTmbyCompress::MemberJob(TByteBuffer bytes, int level) {
  auto job = std::make_shared<TDeflateJob>();
  job->kind = TDeflateJob::Kind::Member;
  job->level = level;
  job->input = std::move(bytes);
  return job;
}

void TTmbyCompress::CompressChunks(TByteBuffer first, TByteBuffer more, int level,
                                   const ReadSource& read, const WriteArchive& write) {
  TDeflateWorkers& workers = Workers();
  // Read but not yet handed out: the first two chunks and the one after.
  std::deque<TByteBuffer> held;
  TByteBuffer second = workers.Buffer();
  second.assign(first.begin() + kChunk, first.end());
  first.resize(kChunk);
  held.push_back(std::move(first));
  held.push_back(std::move(second));
  held.push_back(std::move(more));
  std::deque<std::shared_ptr<TDeflateJob>> pending;
  struct Drop {  // a failure leaves no chunk of this member queued
    TDeflateWorkers& workers;
    std::deque<std::shared_ptr<TDeflateJob>>& pending;
    ~Drop() {
      for (auto& job : pending) workers.Cancel(job);
    }
  } drop{workers, pending};

  const uint16_t stream_header = ZlibStreamHeader(level);
  const uint8_t head[2] = {static_cast<uint8_t>(stream_header >> 8),
                           static_cast<uint8_t>(stream_header)};
  write(head, sizeof head);
  // Until the first chunk is back it is the only one out: when deflate does not shrink it
  // (pictures, packed data), the rest is stored, which costs next to nothing.
  bool probed = level == 0;
  int chunk_level = level;
  const size_t most = kChunksPerProcessor * (workers.Threads() + 1);
  bool end = false;
  TByteBuffer dictionary;
  uint32_t adler = 1;
  int64_t done = 0;
  for (;;) {
    while (!end && pending.size() < (probed ? most : 1)) {
      TByteBuffer bytes;
      if (!held.empty()) {
        bytes = std::move(held.front());
        held.pop_front();
      } else {
        bytes = read(kChunk);
      }
      if (bytes.empty()) {
        end = true;
        break;
      }
      auto job = std::make_shared<TDeflateJob>();
      job->kind = TDeflateJob::Kind::Chunk;
      job->level = chunk_level;
      job->dictionary = std::move(dictionary);
      // Stored chunks refer to nothing before them. Only the source's last chunk may be shorter
      // than the window; it primes none.
      dictionary = workers.Buffer();
      if (chunk_level != 0) {
        dictionary.assign(
            bytes.end() - static_cast<ptrdiff_t>(std::min(kDictionary, bytes.size())),
            bytes.end());
      }
      job->input = std::move(bytes);
      workers.Submit(job);
      pending.push_back(std::move(job));
    }
    if (pending.empty()) break;
    const std::shared_ptr<TDeflateJob> job = pending.front();
    workers.Wait(job);
    pending.pop_front();
    if (job->failed) throw Exception(kZlibError);
    write(job->output.data(), job->output.size());
    const size_t size = job->input.size();
    adler = adler32_combine(adler, job->adler, static_cast<z_off_t>(size));
    if (!probed) {
      probed = true;
      if (DoesNotShrink(size, job->output.size())) chunk_level = 0;
    }
    done += static_cast<int64_t>(size);
    workers.Recycle(*job);
    AddStatus(done);
  }
  // An empty final block after the last sync flush, and the stream's checksum.
  const uint8_t tail[6] = {0x03,
                           0x00,
                           static_cast<uint8_t>(adler >> 24),
                           static_cast<uint8_t>(adler >> 16),
                           static_cast<uint8_t>(adler >> 8),
                           static_cast<uint8_t>(adler)};
  write(tail, sizeof tail);
}

TDeflateWorkers& TTmbyCompress::Workers() {
  if (!workers_) {
    workers_ = std::make_unique<TDeflateWorkers>(
        deflate_threads_ ? *deflate_threads_ : TDeflateWorkers::SpareProcessors());
  }
  return *workers_;
}

void TTmbyCompress::SetDeflateThreads(unsigned threads) {
  ExpectSources({});
  deflate_threads_ = threads;
}

void TTmbyCompress::ExpectSources(const std::vector<std::string>& sources) {
  for (ReadAhead& entry : ahead_) workers_->Cancel(entry.job);
  ahead_.clear();
  expected_.assign(sources.begin(), sources.end());
  // The workers end with the build's work; a later build starts them again.
  if (sources.empty()) workers_.reset();
}

std::shared_ptr<TDeflateJob> TTmbyCompress::TakeReadAhead(const std::string& source_name,
                                                          IFile& source, int level,
                                                          int64_t& consumed) {
  const auto named = [&](const std::string& path) {
    return SameTextIgnoringCase(path, source_name);
  };
  // The sources expected before this one were not compressed after all.
  const auto expected = std::find_if(expected_.begin(), expected_.end(), named);
  if (expected != expected_.end()) expected_.erase(expected_.begin(), expected + 1);
  const auto found = std::find_if(ahead_.begin(), ahead_.end(),
                                  [&](const ReadAhead& entry) { return named(entry.path); });
  if (found == ahead_.end()) return nullptr;
  for (auto skipped = ahead_.begin(); skipped != found; ++skipped) workers_->Cancel(skipped->job);
  ReadAhead entry = std::move(*found);
  ahead_.erase(ahead_.begin(), found + 1);
  // What was read ahead stands for the source only as long as the source is still that file.
  const std::optional<int64_t> size = source.Size();
  if (entry.level != level || size != entry.size || source.GetDosTime() != entry.dos_time) {
    workers_->Cancel(entry.job);
    return nullptr;
  }
  consumed = entry.size;
  return entry.job;
}

void TTmbyCompress::TopUpReadAhead(int level) {
  if (Workers().Threads() == 0) return;  // no processor to deflate them on before their turn
  while (ahead_.size() < kReadAheadFiles && !expected_.empty()) {
    ReadAhead entry;
    entry.path = std::move(expected_.front());
    expected_.pop_front();
    std::unique_ptr<IFile> file =
        Files().Open(entry.path, FileAccess::Read, kShareReading, FileDisposition::OpenExisting);
    // A source that cannot be read now, or a large one, is compressed in its turn, as always.
    const std::optional<int64_t> size = file ? file->Size() : std::nullopt;
    if (!size || *size > static_cast<int64_t>(kWholeMember)) continue;
    TByteBuffer bytes = workers_->Buffer();
    bytes.resize(static_cast<size_t>(*size));
    if (ReadFully(*file, bytes.data(), bytes.size()) != bytes.size()) continue;
    entry.level = level;
    entry.size = *size;
    entry.dos_time = file->GetDosTime();
    entry.job = MemberJob(std::move(bytes), level);
    workers_->Submit(entry.job);
    ahead_.push_back(std::move(entry));
  }
}

void TTmbyCompress::AddStatus(int64_t source_position) {
  CheckAbort();
  ProcessMessages();
  if (!archive_) throw ETmbyCompress(kNilDestFile);
  const int32_t done = ClampInt32(source_position);
  stats_.TotalBytesDone =
      ClampInt32(static_cast<int64_t>(stats_.TotalBytesDone) + done - stats_.FileBytesDone);
  stats_.FileBytesDone = done;
  stats_.CompressedSize = ClampInt32(archive_end_);
  stats_.FilePercent = Percent(stats_.FileBytesDone, stats_.OriginalSize);
  stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalOriginal);
  RaiseStatus();
}

// ---------------------------------------------------------------------------------------------
// Extract

void TTmbyCompress::Extract() {
  Abort = false;
  operation_ = Operation::Extracting;
  // A single-volume archive stays open from one extraction to the next: an install extracts
  // its members one call at a time, and opening the archive again for each is three calls into
  // the system per file. Volumes close, as disks may change between two extractions; so does
  // an archive after a failure.
  auto finish = [&](bool failed) {
    if (failed || headers_.MultiVolume) Close();
    files_to_process_.clear();
    DestFileName.clear();
    operation_ = Operation::None;
  };
  created_directory_.clear();
  try {
    EnsureHeaders();
    if (headers_.MultiVolume) Close();
    current_volume_ = 0;
    ResetStats();
    SumTotals();
    const std::vector<std::string> names = files_to_process_;
    for (const auto& name : names) {
      const int index = headers_.IndexOf(name);
      if (index < 0) throw ETmbyCompress(kNotInArchive, {LineFileName(name), compressed_file_});
      const TFileHeader header = std::as_const(headers_).Items(index);
      FillStats(header);
      if (TrimBlanks(DestFileName).empty()) DestFileName = PathFileNamePart(header.FileName);
      if (OnBeforeExtracting) OnBeforeExtracting(*this, stats_);
      ExtractMember(header);
      DestFileName.clear();
    }
  } catch (...) {
    finish(true);
    throw;
  }
  finish(false);
}

TTmbyCompress::Decision TTmbyCompress::DecideOverwrite(const std::string& destination,
                                                       TFileNewerResult result) {
  switch (result) {
    case crUndetermined: throw ETmbyCompress(kCompareFailed);
    case crSame:
    case crKeep: return Decision::Keep;
    case crNewer:
    case crAsk: break;
  }
  (void)destination;
  if (OnReplace) OnReplace(*this, stats_);
  return Decision::Write;
}

void TTmbyCompress::ExtractMember(const TFileHeader& header) {
  auto& files = Files();
  auto make_directory = [&](const std::string& destination) {
    const std::string dir = PathDirectoryPart(destination);
    if (!dir.empty() && dir != created_directory_) {
      files.CreateDirectories(dir);
      created_directory_ = dir;
    }
    return dir;
  };
  DestFileName = PathFileNamePart(DestFileName);
  std::string destination = WithTrailingBackslash(ExtractDirectory) + DestFileName;
  std::string target = destination;
  bool replacing = false;
  // Usually the destination is new: creating it exclusively tells whether a file is there.
  std::unique_ptr<IFile> out;
  if (IsUsableFileName(DestFileName)) {
    make_directory(destination);
    out = files.Open(destination, FileAccess::ReadWrite, platform::kShareNone,
                     FileDisposition::CreateNew);
  }
  if (!out) {
    if (files.FileExists(destination)) {
      const auto result = IsFileNewer(header.FileVersion, header.FileDate, destination, Overwrite);
      if (DecideOverwrite(destination, result) == Decision::Keep) {
        stats_.Done = true;
        RaiseStatus();
        return;
      }
      DestFileName = PathFileNamePart(DestFileName);
      destination = WithTrailingBackslash(ExtractDirectory) + DestFileName;
      target = destination;
      if (!IsUsableFileName(DestFileName)) {
        throw ETmbyCompress(msg::kCannotCreateFile, {destination});
      }
      const std::string dir = make_directory(destination);
      // A member that replaces a file is written under a temporary name beside it and takes
      // its place only when complete, so that a damaged archive never costs the file there.
      replacing = files.FileExists(destination);
      if (replacing) {
        const auto temp = files.CreateTempFile(dir.empty() ? files.CurrentDir() : dir, "tmb");
        if (!temp) throw ETmbyCompress(msg::kCannotCreateFile, {destination});
        target = *temp;
      }
      out = files.Open(target, FileAccess::ReadWrite, platform::kShareNone,
                       FileDisposition::CreateAlways);
    }
    if (!out) {
      if (replacing) files.RemoveFile(target);
      throw ETmbyCompress(msg::kCannotCreateFile, {destination});
    }
  }
  bool keep_target = false;
  try {
    // The volume open for the previous member is used again when it is the one needed.
    const int first_volume = header.StartVolume == 0 ? 1 : header.StartVolume;
    if (!archive_ || (headers_.MultiVolume && open_volume_ != first_volume)) {
      OpenVolume(first_volume, false, compressed_file_);
    }
    current_volume_ = header.StartVolume;
    const int64_t data_start = static_cast<int64_t>(header.DataStart) + Offset;
    if (!archive_size_ || header.DataStart < 0 || data_start > *archive_size_ ||
        !archive_->Seek(data_start, SeekOrigin::Begin)) {
      throw ETmbyCompress(msg::kCorrupt);
    }
    const bool ended = InflateMember(header, *out, data_start);
    stats_.Done = true;
    RaiseStatus();
    if (out->Size().value_or(-1) != header.OriginalSize) {
      throw ETmbyCompress(kSizeMismatch, {header.FileName});
    }
    if (!ended) throw Exception(kZlibError);
    const auto stamp = DayCountToDosDateTime(header.FileDate);
    if (!stamp || !out->SetDosTime(*stamp)) throw ETmbyCompress(kCannotSetDate);
    out.reset();
    if (replacing) {
      if (!files.RemoveFile(destination))
        throw ETmbyCompress(msg::kCannotCreateFile, {destination});
      // With the old file gone, the complete new one is kept whatever happens now.
      keep_target = true;
      if (!files.RenameFile(target, destination)) {
        throw ETmbyCompress(msg::kCannotCreateFile, {destination});
      }
    }
  } catch (...) {
    out.reset();
    if (!keep_target) files.RemoveFile(target);
    throw;
  }
}

bool TTmbyCompress::InflateMember(const TFileHeader& header, IFile& destination,
                                  int64_t data_start) {
  z_stream& z = z_->Inflater();
  std::vector<uint8_t>& in = z_->in;
  std::vector<uint8_t>& out = z_->out;
  // In a single-volume archive the volume fields carry nothing: the data are one run of bytes.
  const bool multi = headers_.MultiVolume;
  const int end_volume = multi ? header.EndVolume : current_volume_;
  if (multi && header.EndVolume < std::max<int>(header.StartVolume, 1)) {
    throw ETmbyCompress(msg::kCorrupt);
  }
  const int passes = end_volume - current_volume_ + 1;
  int64_t position = data_start;
  int64_t written = 0;
  bool ended = false;
  for (int pass = 0; pass < passes && !ended; ++pass) {
    if (pass > 0) {
      OpenVolume(current_volume_ + 1, false, compressed_file_);
      ++current_volume_;
      position = 0;
    }
    const bool last = current_volume_ == end_volume;
    const int64_t limit = static_cast<int64_t>(header.EndPosition) + Offset + 1;
    for (;;) {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      while (z.avail_out > 0) {
        if (z.avail_in == 0) {
          size_t want = in.size();
          if (last) want = position >= limit ? 0 : std::min<int64_t>(want, limit - position);
          size_t got = 0;
          if (want > 0 && !archive_->Read(in.data(), want, &got)) got = 0;
          if (got == 0) break;
          position += static_cast<int64_t>(got);
          z.next_in = in.data();
          z.avail_in = static_cast<uInt>(got);
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
          ended = true;
          break;
        }
        // A negative result is a damaged stream; a stream asking for a preset dictionary was
        // never written by the kit and would make no progress.
        if (result < 0 || result == Z_NEED_DICT) throw Exception(kZlibError);
      }
      CheckAbort();
      const auto now = std::chrono::steady_clock::now();
      if (now - last_extract_pump_ >= kExtractPumpInterval) {
        last_extract_pump_ = now;
        ProcessMessages();
      }
      const size_t produced = out.size() - z.avail_out;
      if (produced > 0) {
        // More output than the header promises is a damaged member: stop before writing it.
        if (written + static_cast<int64_t>(produced) > header.OriginalSize) {
          throw ETmbyCompress(kSizeMismatch, {header.FileName});
        }
        if (!destination.Write(out.data(), produced)) DiskFull();
        written += static_cast<int64_t>(produced);
        AddProgress(static_cast<int64_t>(produced), header.OriginalSize, stats_.TotalOriginal);
      }
      if (produced == 0 || ended) break;
    }
  }
  return ended;
}

void TTmbyCompress::OpenVolume(int volume, bool read_write, std::string& name) {
  auto& files = Files();
  auto open = [&] {
    archive_ = files.Open(name, read_write ? FileAccess::ReadWrite : FileAccess::Read,
                          kShareReading, FileDisposition::OpenExisting);
    if (!archive_) throw ETmbyCompress(kCannotOpenArchive, {name});
    open_volume_ = volume;
    archive_size_ = archive_->Size();
  };
  for (int attempt = 0; attempt < 4; ++attempt) {
    Close();
    if (headers_.MultiVolume) name = VolumeFileName(name, volume);
    if (files.FileExists(name)) return open();
    if (!OnNewDisk) throw ETmbyCompress(kWrongDisk, {volume});
    std::string dir = DiskDirectory(name);
    OnNewDisk(*this, volume, dir);
    name = WithTrailingBackslash(dir) + PathFileNamePart(name);
    if (files.FileExists(name)) return open();
  }
  throw ETmbyCompress(kWrongDisk, {volume});
}

// ---------------------------------------------------------------------------------------------
// SplitToVolumes

void TTmbyCompress::SplitToVolumes(const std::string& directory, const std::string& volume_name) {
  Abort = false;
  Close();
  archive_end_ = 0;
  const std::string source_name = compressed_file_;
  std::unique_ptr<IFile> source;
  std::unique_ptr<IFile> destination;
  try {
    EnsureHeaders();
    // A set of volumes is split again only from a single archive.
    if (headers_.MultiVolume) throw ETmbyCompress(kCannotOpenArchive, {compressed_file_});
    current_volume_ = 1;
    auto& files = Files();
    // Reading is all the split needs; the source may be the running setup program itself.
    source = files.Open(compressed_file_, FileAccess::Read, kShareReading,
                        FileDisposition::OpenExisting);
    if (!source) throw ETmbyCompress(kCannotOpenArchive, {compressed_file_});
    const int64_t source_size = source->Size().value_or(0);
    int64_t total_length = 0;
    for (int i = 0; i < headers_.Count(); ++i) {
      const TFileHeader& h = headers_.Items(i);
      if (h.DataStart < 0 || h.EndPosition < h.DataStart - 1 ||
          h.EndPosition + Offset >= source_size) {
        throw ETmbyCompress(msg::kCorrupt);
      }
      total_length += static_cast<int64_t>(h.EndPosition) - h.DataStart + 1;
    }
    headers_.MultiVolume = true;
    ResetStats();
    SumTotals();
    std::string dir = directory;
    if (!dir.empty()) files.CreateDirectories(dir);
    // Volume 1 takes the ".1" name whatever extension the caller gave: the readers look for
    // volume n under ".n", volume 1 included.
    const std::string first =
        WithTrailingBackslash(dir) + VolumeFileName(PathFileNamePart(volume_name), 1);
    destination = files.Open(first, FileAccess::ReadWrite, platform::kShareRead,
                             FileDisposition::CreateAlways);
    if (!destination) throw ETmbyCompress(msg::kCannotCreateFile, {first});
    headers_.WriteTo(*destination);
    for (int i = 0; i < headers_.Count(); ++i) {
      TFileHeader& header = headers_.Items(i);
      FillStats(header);
      const int64_t from = header.DataStart + Offset;
      const int64_t to = header.EndPosition + Offset;
      const int64_t length = to - from + 1;
      if (!source->Seek(from, SeekOrigin::Begin)) throw ETmbyCompress(msg::kCorrupt);
      const auto start = Position(*destination);
      if (!start) throw ETmbyCompress(kTooLittleSpace);
      header.DataStart = static_cast<int32_t>(*start);
      header.StartVolume = static_cast<uint8_t>(current_volume_);
      int64_t position = from;
      while (
          CopyChunk(*source, position, to, destination, dir, volume_name, length, total_length)) {
      }
      const auto end = Position(*destination);
      if (!end) throw ETmbyCompress(kTooLittleSpace);
      header.EndPosition = static_cast<int32_t>(*end - 1);
      header.EndVolume = static_cast<uint8_t>(current_volume_);
    }
    destination.reset();
    std::string name = first;
    OpenVolume(1, true, name);
    headers_.WriteTo(*archive_);
    Close();
    // The component now describes the new set of volumes.
    compressed_file_ = name;
    Offset = 0;
  } catch (const EtcAborted&) {
    Close();
    headers_loaded_ = false;
    compressed_file_ = source_name;
    if (OnAborted) OnAborted(*this);
  } catch (...) {
    Close();
    headers_loaded_ = false;
    compressed_file_ = source_name;
    Abort = true;
    throw;
  }
}

bool TTmbyCompress::CopyChunk(IFile& source, int64_t& position, int64_t last,
                              std::unique_ptr<IFile>& destination, std::string& directory,
                              const std::string& volume_name, int64_t member_length,
                              int64_t total_length) {
  CheckAbort();
  if (position > last) return false;
  uint8_t buffer[kCopyChunk];
  const size_t want = static_cast<size_t>(std::min<int64_t>(kCopyChunk, last - position + 1));
  const size_t got = ReadFully(source, buffer, want);
  if (got == 0) return false;
  position += static_cast<int64_t>(got);
  ProcessMessages();
  const int64_t before = Position(*destination).value_or(0);
  if (!destination->Write(buffer, got)) {
    const int64_t after = Position(*destination).value_or(before);
    const size_t stored = static_cast<size_t>(std::clamp<int64_t>(after - before, 0, got));
    destination.reset();
    ++current_volume_;
    if (!OnNewDisk) throw ETmbyCompress(kNoNewDiskHandler);
    if (current_volume_ > kMaxVolume) throw ETmbyCompress(kTooLittleSpace);
    OnNewDisk(*this, current_volume_, directory);
    const std::string name = WithTrailingBackslash(directory) +
                             VolumeFileName(PathFileNamePart(volume_name), current_volume_);
    destination = Files().Open(name, FileAccess::ReadWrite, platform::kShareRead,
                               FileDisposition::CreateAlways);
    if (!destination) throw ETmbyCompress(msg::kCannotCreateFile, {name});
    if (!destination->Write(buffer + stored, got - stored)) throw ETmbyCompress(kTooLittleSpace);
  }
  AddProgress(static_cast<int64_t>(got), member_length, total_length);
  return true;
}

// ---------------------------------------------------------------------------------------------
// CopyFile

void TTmbyCompress::CopyFile(const std::string& source, const std::string& destination) {
  Abort = false;
  Offset = 0;
  auto& files = Files();
  ExtractDirectory = PathDirectoryPart(destination);
  DestFileName = PathFileNamePart(destination);
  std::string target = destination;
  auto finish = [&] {
    files_to_process_.clear();
    DestFileName.clear();
  };
  try {
    if (files.FileExists(target)) {
      const auto result = IsFileNewerByName(source, target, Overwrite);
      ResetStats();
      stats_.FileName = source;
      if (DecideOverwrite(target, result) == Decision::Keep) {
        stats_.Done = true;
        RaiseStatus();
        finish();
        return;
      }
      target = WithTrailingBackslash(ExtractDirectory) + PathFileNamePart(DestFileName);
    }
    ResetStats();
    stats_.FileName = source;
    const auto stamp = files.GetDosTime(source);
    auto in = files.Open(source, FileAccess::Read, kShareReading, FileDisposition::OpenExisting);
    if (!in) throw ETmbyCompress(msg::kCannotOpenFile, {source});
    stats_.OriginalSize = ClampInt32(in->Size().value_or(0));
    if (!ExtractDirectory.empty()) files.CreateDirectories(ExtractDirectory);
    auto out = files.Open(target, FileAccess::ReadWrite, platform::kShareRead,
                          FileDisposition::CreateAlways);
    if (!out) throw ETmbyCompress(msg::kCannotCreateFile, {target});
    uint8_t buffer[kCopyChunk];
    for (;;) {
      if (Abort) break;
      if (BuildAborted && BuildAborted()) throw EUserAbortInstall("Creating Install Aborted!");
      const size_t got = ReadFully(*in, buffer, sizeof buffer);
      if (got > 0 && !out->Write(buffer, got)) DiskFull();
      // Both percentages of a copy count the one file.
      AddProgress(static_cast<int64_t>(got), stats_.OriginalSize, stats_.OriginalSize);
      ProcessMessages();
      if (got < sizeof buffer) {
        if (stamp) out->SetDosTime(*stamp);
        stats_.Done = true;
        RaiseStatus();
        break;
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace tmby
