// TTmbyCompress: the component that writes and reads the kit's archives. It compresses files into
// an archive (new or appended), extracts members with the overwrite rule, spreads an archive over
// volumes (disks), copies uncompressed files with the same progress reports, and lists members.
// Progress and disk requests go out through events; long loops let pending window messages run
// once per buffer, and the Abort flag stops the running operation at its next check.
//
// All file access goes through the port (platform::Port().Files()).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/parallel_deflate.h"
#include "system/version_compare.h"

namespace tmby {

namespace platform {
class IFile;
}

class TTmbyCompress;

using TNotifyEvent = std::function<void(TTmbyCompress& Sender)>;
using TlzhFileStatsEvent =
    std::function<void(TTmbyCompress& TmbyCompress, TlzhFileStats& FileStats)>;
using TlzhNewDiskEvent =
    std::function<void(TTmbyCompress& TmbyCompress, int DiskNumber, std::string& Path)>;

class TTmbyCompress {
 public:
  TTmbyCompress();
  virtual ~TTmbyCompress();
  TTmbyCompress(const TTmbyCompress&) = delete;
  TTmbyCompress& operator=(const TTmbyCompress&) = delete;

  // Published properties.
  bool Abort = false;
  TCompressionLevel CompressionLevel = colMax;
  std::string ExtractDirectory;
  int64_t Offset = 0;
  TOverwriteType Overwrite = owAlways;

  const std::string& CompressedFile() const { return compressed_file_; }
  // A name that differs only in letter case changes nothing; another archive (not merely another
  // volume of the same one) makes the loaded headers stale.
  void SetCompressedFile(const std::string& name);

  const std::vector<std::string>& FilesToProcess() const { return files_to_process_; }
  // Lines blank after trimming are dropped.
  void SetFilesToProcess(const std::vector<std::string>& lines);

  TNotifyEvent OnAborted;
  TlzhFileStatsEvent OnBeforeAdding;
  TlzhFileStatsEvent OnAfterAdding;
  TlzhFileStatsEvent OnBeforeExtracting;
  TlzhFileStatsEvent OnAfterExtracting;  // published for compatibility; nothing raises it
  TlzhFileStatsEvent OnListing;
  TlzhFileStatsEvent OnReplace;
  TlzhFileStatsEvent OnStatus;
  TNotifyEvent OnFullDisk;
  TlzhNewDiskEvent OnNewDisk;

  // The file name under which the next extracted member is written; empty: the member's own.
  std::string DestFileName;

  // The build's process-wide abort flag, bound by the engine: CopyFile stops with
  // EUserAbortInstall when it answers true.
  std::function<bool()> BuildAborted;

  // Operations.
  void Compress(bool append, int member_index);
  void Extract();
  void SplitToVolumes(const std::string& directory, const std::string& volume_name);
  void CopyFile(const std::string& source, const std::string& destination);
  void ListMembers();
  int GetMemberCount();
  void GetMemberStats(int index, TlzhFileStats& stats);
  // List position of the member with this identifier, or -1 when no loaded member carries it
  // (also for identifiers outside 0 ... 1999).
  int IndexOfMember(int member_index);
  void LoadHeaders();
  // Lets go of the archive held open: after appending, the archive written last stays open for
  // the next append until this, another archive or another operation.
  void Close();
  // The sources the next appends will name, in their order: the small ones among them are read
  // and deflated ahead of their turn on the machine's other processors, and an append takes that
  // work when its source is still the file that was read (same size and date). A source not
  // expected, or not in that order, is simply compressed in its turn. An empty list drops what
  // was done ahead and lets the processors go.
  void ExpectSources(const std::vector<std::string>& sources);
  // The threads that deflate beside the calling one (default: one per other processor of the
  // machine; 0 deflates everything in the calling thread).
  void SetDeflateThreads(unsigned threads);

  // A write to a destination stored fewer bytes than asked: OnFullDisk when set (the operation
  // goes on), else EtcDiskFull.
  virtual void DiskFull();

  // State open to callers and tests.
  const TFileHeaders& Headers() const { return headers_; }
  bool HeadersLoaded() const { return headers_loaded_; }
  int CurrentVolume() const { return current_volume_; }
  const TlzhFileStats& Stats() const { return stats_; }

 private:
  enum class Operation { None, Compressing, Extracting };

  void EnsureHeaders();
  void FillStats(const TFileHeader& header);
  void ResetStats();
  void SumTotals();
  void RaiseStatus();
  // Counts `bytes` more done, computes both percentages and reports them through OnStatus.
  void AddProgress(int64_t bytes, int64_t file_whole, int64_t total_whole);
  void CheckAbort();
  void ProcessMessages();

  // Compression.
  // `source` is the file already open for the header (null: opened here).
  void CompressMember(TFileHeader& header, platform::IFile& archive, int member_index,
                      std::unique_ptr<platform::IFile> source);
  void AddStatus(int64_t source_position);
  using ReadSource = std::function<TByteBuffer(size_t size)>;
  using WriteArchive = std::function<void(const uint8_t* bytes, size_t size)>;
  // A small source read ahead of its turn and deflated on another processor.
  struct ReadAhead {
    std::string path;
    int level = 0;
    int64_t size = 0;
    std::optional<uint32_t> dos_time;
    std::shared_ptr<TDeflateJob> job;
  };
  static std::shared_ptr<TDeflateJob> MemberJob(TByteBuffer bytes, int level);
  // A large member as chunks deflated on every processor and written in their order; `first`
  // holds the member's first two chunks, `more` the third.
  void CompressChunks(TByteBuffer first, TByteBuffer more, int level,
                      const ReadSource& read, const WriteArchive& write);
  TDeflateWorkers& Workers();
  // The work done ahead for this source, if any and still valid; `consumed` becomes its size.
  std::shared_ptr<TDeflateJob> TakeReadAhead(const std::string& source_name,
                                             platform::IFile& source, int level, int64_t& consumed);
  void TopUpReadAhead(int level);

  // Extraction.
  enum class Decision { Write, Keep };
  Decision DecideOverwrite(const std::string& destination, TFileNewerResult result);
  void ExtractMember(const TFileHeader& header);
  // Feeds the member's data to inflate and writes the output; true when the stream ended.
  bool InflateMember(const TFileHeader& header, platform::IFile& destination, int64_t data_start);
  // Opens volume `volume` (asking for the disk through OnNewDisk) as the archive stream; `name`
  // becomes the path of the volume opened.
  void OpenVolume(int volume, bool read_write, std::string& name);

  // Splitting: copies one chunk of the source from `position` up to `last` (inclusive) onto the
  // volumes; false when there was nothing left to copy.
  bool CopyChunk(platform::IFile& source, int64_t& position, int64_t last,
                 std::unique_ptr<platform::IFile>& destination, std::string& directory,
                 const std::string& volume_name, int64_t member_length, int64_t total_length);

  std::string compressed_file_;
  std::vector<std::string> files_to_process_;
  TFileHeaders headers_;
  bool headers_loaded_ = false;
  int current_volume_ = 0;
  Operation operation_ = Operation::None;
  TlzhFileStats stats_;
  std::vector<int> member_table_;
  std::unique_ptr<platform::IFile> archive_;
  int64_t archive_end_ = 0;              // size of the archive while a member is compressed
  int open_volume_ = 0;                  // the volume archive_ holds open
  bool archive_writable_ = false;        // archive_ is the archive the last Compress wrote
  std::optional<int64_t> archive_size_;  // its size when it was opened
  std::string created_directory_;        // the last destination directory made while extracting
  std::chrono::steady_clock::time_point last_extract_pump_;  // messages last run while extracting
  struct ZState;
  std::unique_ptr<ZState> z_;
  std::optional<unsigned> deflate_threads_;
  std::unique_ptr<TDeflateWorkers> workers_;
  std::deque<std::string> expected_;  // sources expected, not yet read ahead
  std::deque<ReadAhead> ahead_;       // read ahead, in their order
};

}  // namespace tmby
