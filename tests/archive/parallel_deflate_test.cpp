#include "archive/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tmby {
namespace {

TByteBuffer Text(size_t size, unsigned seed) {
  static const char* const kWords[] = {"setup ", "file ", "folder ", "version ", "disk ", "the "};
  std::mt19937 random(seed);
  TByteBuffer bytes;
  while (bytes.size() < size) {
    const char* word = kWords[random() % 6];
    bytes.insert(bytes.end(), word, word + std::strlen(word));
  }
  bytes.resize(size);
  return bytes;
}

TByteBuffer Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  TByteBuffer bytes(size);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

std::shared_ptr<TDeflateJob> MemberJob(TByteBuffer input, int level = 9) {
  auto job = std::make_shared<TDeflateJob>();
  job->kind = TDeflateJob::Kind::Member;
  job->level = level;
  job->input = std::move(input);
  return job;
}

// What zlib's own inflate makes of a job's output: a whole zlib stream for a member; for a chunk,
// raw deflate primed with its dictionary, ended by the sync flush's empty stored block.
TByteBuffer Inflated(const TDeflateJob& job, size_t expected) {
  z_stream z{};
  const bool raw = job.kind == TDeflateJob::Kind::Chunk;
  EXPECT_EQ(inflateInit2(&z, raw ? -15 : 15), Z_OK);
  if (raw && !job.dictionary.empty()) {
    EXPECT_EQ(inflateSetDictionary(&z, job.dictionary.data(),
                                   static_cast<uInt>(job.dictionary.size())),
              Z_OK);
  }
  TByteBuffer out(expected + 16);
  z.next_in = const_cast<uint8_t*>(job.output.data());
  z.avail_in = static_cast<uInt>(job.output.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_SYNC_FLUSH);
  EXPECT_EQ(result, raw ? Z_OK : Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes left over after the stream";
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

TEST(ParallelDeflateTest, EveryJobComesBackAsItsOwnStreamWhateverTheWorkersAndTheOrderOfWaiting) {
  for (unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE("workers: " + std::to_string(threads));
    TDeflateWorkers pool(threads);
    ASSERT_EQ(pool.Threads(), threads);
    std::vector<std::shared_ptr<TDeflateJob>> jobs;
    std::vector<TByteBuffer> inputs;
    for (unsigned i = 0; i < 12; ++i) {
      // Small and large text, noise past the 64 KiB probe, an empty member; and chunks primed
      // with the 32 KiB before them, which they repeat.
      TByteBuffer input = i % 4 == 0   ? Noise(100 * 1024 + i, i)
                          : i % 4 == 1 ? Text(1 + i * 37, i)
                          : i == 2     ? TByteBuffer{}
                          : i % 4 == 2 ? Text(150 * 1024, i)
                                       : Noise(32 * 1024, i);
      auto job = MemberJob(input, i % 3 == 2 ? 1 : 9);
      if (i % 4 == 3) {
        job->kind = TDeflateJob::Kind::Chunk;
        job->dictionary = input;
        job->input = input = TByteBuffer(input.begin() + 16 * 1024, input.end());
      }
      inputs.push_back(std::move(input));
      jobs.push_back(job);
      pool.Submit(job);
    }
    // Waited for from the last to the first: the caller runs what no worker took.
    for (size_t i = jobs.size(); i-- > 0;) {
      pool.Wait(jobs[i]);
      const TDeflateJob& job = *jobs[i];
      ASSERT_FALSE(job.failed) << "job " << i;
      EXPECT_EQ(Inflated(job, inputs[i].size()), inputs[i]) << "job " << i;
      if (job.kind == TDeflateJob::Kind::Chunk) {
        EXPECT_EQ(job.adler, adler32(1, inputs[i].data(), static_cast<uInt>(inputs[i].size())));
        EXPECT_LT(job.output.size(), inputs[i].size() / 8) << "the dictionary was not used";
      } else if (i % 4 == 0) {
        // Noise is stored after the first 64 KiB: a few bytes per stored block, no more.
        EXPECT_LT(job.output.size(), inputs[i].size() + inputs[i].size() / 100);
      }
    }
  }
}

TEST(ParallelDeflateTest, ACancelledJobNeverRunsAndThePoolEndsWithJobsStillQueued) {
  // One worker busy with a large job; the cancelled one behind it is not run by the worker, nor
  // by the caller, which helps with the queue while it waits.
  {
    TDeflateWorkers pool(1);
    auto large = MemberJob(Text(4 * 1024 * 1024, 1));
    auto cancelled = MemberJob(Text(1000, 2));
    auto kept = MemberJob(Text(1000, 3));
    pool.Submit(large);
    pool.Submit(cancelled);
    pool.Submit(kept);
    pool.Cancel(cancelled);
    pool.Wait(large);
    pool.Wait(kept);
    pool.Wait(cancelled);  // done by its cancelling: returns at once
    EXPECT_FALSE(large->output.empty());
    EXPECT_EQ(Inflated(*kept, 1000), kept->input);
    EXPECT_TRUE(cancelled->output.empty()) << "a cancelled job was deflated";
  }
  // Without workers nothing runs until it is waited for; a cancelled job, and a pool destroyed
  // with jobs in its queue, leave them as they were.
  auto left = MemberJob(Text(5000, 4));
  {
    TDeflateWorkers pool(0);
    auto cancelled = MemberJob(Text(5000, 5));
    pool.Submit(cancelled);
    pool.Submit(left);
    pool.Cancel(cancelled);
    EXPECT_TRUE(cancelled->output.empty());
  }
  EXPECT_TRUE(left->output.empty());
  // Workers stopped amid a full queue: whatever ran is whole, nothing hangs.
  std::vector<std::shared_ptr<TDeflateJob>> jobs;
  {
    TDeflateWorkers pool(2);
    for (unsigned i = 0; i < 40; ++i) {
      jobs.push_back(MemberJob(Text(64 * 1024, i)));
      pool.Submit(jobs.back());
    }
  }
  for (const auto& job : jobs) {
    if (!job->output.empty()) {
      EXPECT_EQ(Inflated(*job, job->input.size()), job->input);
    }
  }
}

}  // namespace
}  // namespace tmby
