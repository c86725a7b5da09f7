// Deflating on the machine's other processors while the building thread reads the sources and
// writes the archive. Two kinds of work go out:
//  - a whole member: a small file as one zlib stream, exactly as one deflate call over it would
//    give (and stored from its first 64 KiB on when those do not shrink);
//  - a piece of a large member: raw deflate of one chunk, primed with the 32 KiB before it and
//    ended on a byte boundary by a sync flush. The pieces laid end to end, closed by an empty
//    final block and the zlib trailer, make one ordinary zlib stream that any inflater reads.
// Only the building thread calls the pool; the workers touch nothing but the jobs' own bytes and
// zlib, never the port. With no spare processor there are no workers: a job runs in the caller
// when it waits for it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tmby {

// A first buffer of a member that deflate shrinks by less than one part in this many is taken for
// bytes that do not compress.
constexpr size_t kProbeBytes = 64 * 1024;
constexpr uint32_t kIncompressible = 32;

struct TDeflateJob {
  enum class Kind { Member, Chunk };
  Kind kind = Kind::Member;
  int level = 9;
  std::vector<uint8_t> input;       // let go once deflated
  size_t input_size = 0;            // the input's length, set when it is deflated
  std::vector<uint8_t> dictionary;  // a chunk's preceding bytes (up to 32 KiB)
  // The result, the caller's once the pool's Wait returned.
  std::vector<uint8_t> output;
  uint32_t adler = 1;  // a chunk's: adler32 of its input
  bool failed = false;

 private:
  friend class TDeflateWorkers;
  enum class State { Queued, Running, Done } state_ = State::Queued;
};

// The zlib header deflateInit writes at `level` (window 32 KiB).
uint16_t ZlibStreamHeader(int level);

class TDeflateWorkers {
 public:
  // `threads` workers; 0 runs every job in the caller.
  explicit TDeflateWorkers(unsigned threads);
  ~TDeflateWorkers();
  TDeflateWorkers(const TDeflateWorkers&) = delete;
  TDeflateWorkers& operator=(const TDeflateWorkers&) = delete;

  // Workers for the processors beside the caller's (none on a single processor).
  static unsigned SpareProcessors();
  unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }

  void Submit(const std::shared_ptr<TDeflateJob>& job);
  // Returns once the job is done; one no worker has taken yet runs here.
  void Wait(const std::shared_ptr<TDeflateJob>& job);
  // The job's result is not wanted: it leaves the queue, or its result is dropped.
  void Cancel(const std::shared_ptr<TDeflateJob>& job);

  struct Deflater;

 private:
  void Work();
  void Run(TDeflateJob& job, Deflater& deflater);

  std::mutex mutex_;
  std::condition_variable wake_;  // a job queued, or the pool stops
  std::condition_variable done_;  // a job done
  std::deque<std::shared_ptr<TDeflateJob>> queue_;
  bool stopping_ = false;
  std::unique_ptr<Deflater> own_;  // the caller's
  std::vector<std::thread> threads_;
};

}  // namespace tmby
