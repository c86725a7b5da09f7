#include "archive/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>

namespace tmby {

// One thread's deflate stream, made once and reset for each job: making it anew costs more than
// deflating a small file.
struct TDeflateWorkers::Deflater {
  z_stream z{};
  bool ready = false;
  int level = -1;
  bool raw = false;
  bool clean = true;  // false once switched to storing: a reset would keep that

  ~Deflater() { End(); }
  void End() {
    if (ready) deflateEnd(&z);
    z = z_stream{};
    ready = false;
  }
  z_stream* Get(int wanted_level, bool wanted_raw) {
    if (ready && level == wanted_level && raw == wanted_raw && clean && deflateReset(&z) == Z_OK) {
      return &z;
    }
    End();
    if (deflateInit2(&z, wanted_level, Z_DEFLATED, wanted_raw ? -15 : 15, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      return nullptr;
    }
    ready = true;
    level = wanted_level;
    raw = wanted_raw;
    clean = true;
    return &z;
  }
};

namespace {

// The first buffer of a member that decides whether the rest is deflated or stored.
constexpr size_t kProbeBytes = 64 * 1024;

// Calls deflate with `flush` until it has taken all its input and, for Z_FINISH, ended the
// stream; `out` grows as needed, `used` counts its bytes written.
bool Drive(z_stream& z, TByteBuffer& out, size_t& used, int flush) {
  for (;;) {
    if (out.size() - used < 1024) out.resize(used + std::max<size_t>(out.size() / 2, 64 * 1024));
    z.next_out = out.data() + used;
    z.avail_out = static_cast<uInt>(out.size() - used);
    const int result = deflate(&z, flush);
    used = out.size() - z.avail_out;
    if (result == Z_STREAM_ERROR) return false;
    if (flush == Z_FINISH) {
      if (result == Z_STREAM_END) return true;
    } else if (z.avail_in == 0 && z.avail_out != 0) {
      return true;
    }
  }
}

bool DeflateMember(TDeflateJob& job, TDeflateWorkers::Deflater& deflater) {
  z_stream* z = deflater.Get(job.level, false);
  if (z == nullptr) return false;
  const uLong size = static_cast<uLong>(job.input.size());
  job.output.resize(deflateBound(z, size) + 64);
  size_t used = 0;
  z->next_in = job.input.data();
  if (job.level != 0 && size >= kProbeBytes) {
    // Bytes that do not shrink in the first buffer (pictures, packed data) are stored from there
    // on: deflating them took a quarter of a build's time and saved nothing. The block so far is
    // ended first, so that what it took is known.
    z->avail_in = static_cast<uInt>(kProbeBytes);
    if (!Drive(*z, job.output, used, Z_NO_FLUSH) || !Drive(*z, job.output, used, Z_BLOCK)) {
      return false;
    }
    if (DoesNotShrink(z->total_in, z->total_out) &&
        deflateParams(z, 0, Z_DEFAULT_STRATEGY) == Z_OK) {
      deflater.clean = false;
    }
    used = job.output.size() - z->avail_out;
    z->avail_in = static_cast<uInt>(size - kProbeBytes);
  } else {
    z->avail_in = static_cast<uInt>(size);
  }
  if (!Drive(*z, job.output, used, Z_FINISH)) return false;
  job.output.resize(used);
  return true;
}

bool DeflateChunk(TDeflateJob& job, TDeflateWorkers::Deflater& deflater) {
  z_stream* z = deflater.Get(job.level, true);
  if (z == nullptr) return false;
  if (!job.dictionary.empty() &&
      deflateSetDictionary(z, job.dictionary.data(), static_cast<uInt>(job.dictionary.size())) !=
          Z_OK) {
    return false;
  }
  const uLong size = static_cast<uLong>(job.input.size());
  job.output.resize(deflateBound(z, size) + 64);
  size_t used = 0;
  z->next_in = job.input.data();
  z->avail_in = static_cast<uInt>(size);
  if (!Drive(*z, job.output, used, Z_SYNC_FLUSH)) return false;
  job.output.resize(used);
  job.adler = adler32(1, job.input.data(), static_cast<uInt>(size));
  return true;
}

}  // namespace

uint16_t ZlibStreamHeader(int level) {
  const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (flags << 6);
  header += 31 - header % 31;
  return static_cast<uint16_t>(header);
}

unsigned TDeflateWorkers::SpareProcessors() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors <= 1 ? 0 : std::min(processors - 1, 7u);
}

TDeflateWorkers::TDeflateWorkers(unsigned threads) : own_(std::make_unique<Deflater>()) {
  for (unsigned i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (...) {
      break;  // fewer workers; the caller runs what they do not take
    }
  }
}

TDeflateWorkers::~TDeflateWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (auto& job : queue_) job->state_ = TDeflateJob::State::Done;
    queue_.clear();
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void TDeflateWorkers::Submit(const std::shared_ptr<TDeflateJob>& job) {
  if (job->level == 0) {
    Run(*job, *own_);
    job->state_ = TDeflateJob::State::Done;  // never queued: no other thread sees it
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job->state_ = TDeflateJob::State::Queued;
    queue_.push_back(job);
  }
  wake_.notify_one();
}

void TDeflateWorkers::Run(TDeflateJob& job, Deflater& deflater) {
  try {
    job.failed = job.kind == TDeflateJob::Kind::Member ? !DeflateMember(job, deflater)
                                                       : !DeflateChunk(job, deflater);
  } catch (...) {
    job.failed = true;  // no memory for the output
  }
  if (job.failed) deflater.End();
}

TByteBuffer TDeflateWorkers::Buffer() {
  if (spare_.empty()) return {};
  TByteBuffer buffer = std::move(spare_.back());
  spare_.pop_back();
  buffer.clear();
  return buffer;
}

void TDeflateWorkers::Recycle(TDeflateJob& job) {
  constexpr size_t kMostSpare = 8;
  for (TByteBuffer* buffer : {&job.input, &job.output, &job.dictionary}) {
    if (spare_.size() < kMostSpare && buffer->capacity() != 0) spare_.push_back(std::move(*buffer));
    *buffer = {};
  }
}

void TDeflateWorkers::Work() {
  Deflater deflater;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::shared_ptr<TDeflateJob> job = std::move(queue_.front());
    queue_.pop_front();
    RunTaken(lock, *job, deflater);
  }
}

void TDeflateWorkers::RunTaken(std::unique_lock<std::mutex>& lock, TDeflateJob& job,
                               Deflater& deflater) {
  job.state_ = TDeflateJob::State::Running;
  lock.unlock();
  Run(job, deflater);
  lock.lock();
  job.state_ = TDeflateJob::State::Done;
  done_.notify_all();
}

void TDeflateWorkers::Unqueue(const std::shared_ptr<TDeflateJob>& job) {
  const auto queued = std::find(queue_.begin(), queue_.end(), job);
  if (queued != queue_.end()) queue_.erase(queued);
}

void TDeflateWorkers::Wait(const std::shared_ptr<TDeflateJob>& job) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (job->state_ != TDeflateJob::State::Done) {
    // The caller does not idle: it takes the awaited job if no worker has, or else helps with
    // the next one queued.
    std::shared_ptr<TDeflateJob> take;
    if (job->state_ == TDeflateJob::State::Queued) {
      Unqueue(job);
      take = job;
    } else if (!queue_.empty()) {
      take = std::move(queue_.front());
      queue_.pop_front();
    }
    if (take) {
      RunTaken(lock, *take, *own_);
    } else {
      done_.wait(lock);
    }
  }
}

void TDeflateWorkers::Cancel(const std::shared_ptr<TDeflateJob>& job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (job->state_ != TDeflateJob::State::Queued) return;
  Unqueue(job);
  job->state_ = TDeflateJob::State::Done;
}

}  // namespace tmby
