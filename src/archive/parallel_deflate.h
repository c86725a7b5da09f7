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
#include <type_traits>
#include <utility>
#include <vector>

namespace tmby {

// Bytes that deflate shrank from `in` to `out`, less than one part in 32, are taken for bytes that
// do not compress (pictures, packed data): the rest of their member is stored.
inline bool DoesNotShrink(uint64_t in, uint64_t out) { return out >= in - in / 32; }

// Bytes a vector does not zero as it grows: a buffer is filled at once, by a read or by deflate,
// and zeroing it first cost as much as deflating at the lowest levels.
template <class T>
struct TUninitialized : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TUninitialized<U>;
  };
  TUninitialized() = default;
  template <class U>
  TUninitialized(const TUninitialized<U>&) noexcept {}
  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};
using TByteBuffer = std::vector<uint8_t, TUninitialized<uint8_t>>;

struct TDeflateJob {
  enum class Kind { Member, Chunk };
  Kind kind = Kind::Member;
  int level = 9;
  TByteBuffer input;
  TByteBuffer dictionary;  // a chunk's preceding bytes (up to 32 KiB)
  // The result, the caller's once the pool's Wait returned.
  TByteBuffer output;
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

  // Queues the job for the next free worker; a job at level 0 (storing) runs at once in the
  // caller instead, as handing it over costs more than the copy it is.
  void Submit(const std::shared_ptr<TDeflateJob>& job);
  // Returns once the job is done; one no worker has taken yet runs here.
  void Wait(const std::shared_ptr<TDeflateJob>& job);
  // The job's result is not wanted: it leaves the queue, or its result is dropped.
  void Cancel(const std::shared_ptr<TDeflateJob>& job);
  // Buffers for the jobs' bytes, kept from one job to the next: a fresh one of 128 KiB is fresh
  // pages from the system each time. The caller's thread only.
  TByteBuffer Buffer();
  // A job whose result was written: its buffers go back.
  void Recycle(TDeflateJob& job);

  struct Deflater;

 private:
  void Work();
  void Run(TDeflateJob& job, Deflater& deflater);
  // Runs a job taken from the queue (or never queued) with the lock let go meanwhile, and tells
  // the waiters it is done.
  void RunTaken(std::unique_lock<std::mutex>& lock, TDeflateJob& job, Deflater& deflater);
  // Takes a queued job out of the queue.
  void Unqueue(const std::shared_ptr<TDeflateJob>& job);

  std::mutex mutex_;
  std::condition_variable wake_;  // a job queued, or the pool stops
  std::condition_variable done_;  // a job done
  std::deque<std::shared_ptr<TDeflateJob>> queue_;
  bool stopping_ = false;
  std::unique_ptr<Deflater> own_;  // the caller's
  std::vector<TByteBuffer> spare_;  // the caller's
  std::vector<std::thread> threads_;
};

}  // namespace tmby
