// IO_Progress through the exports: absent, idle and finished IOs, a file followed from the queue to its end, a pipe, and counts past 4 GiB.
// The same suite runs against the linked core and, on Windows, against the module.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "jobs/job_fixture.h"
#include "support/test_support.h"

namespace telvarn::test {
namespace {

constexpr uint32_t kUntouched = 0xCCCCCCCCu;
// Reading a sparse file past 4 GiB and hashing it takes seconds, and many more
// under the sanitizers.
constexpr int kLongJobMs = 280000;

// The four words that IO_Progress writes, and a fifth behind them that it must
// leave alone.
struct Counts {
  uint32_t words[5] = {kUntouched, kUntouched, kUntouched, kUntouched, kUntouched};

  uint64_t consumed() const { return words[0] | uint64_t{words[1]} << 32; }
  int64_t total() const { return static_cast<int64_t>(words[2] | uint64_t{words[3]} << 32); }
};

class ProgressTest : public JobTest {
 protected:
  // IO_Progress with noise in its unused arguments; the counts land in `counts`.
  int32_t Progress(int32_t io, Counts& counts) {
    counts = Counts{};
    const int32_t result = api.progress(io, Var(counts.words), static_cast<int32_t>(0xDEADBEEF), -1);
    EXPECT_EQ(counts.words[4], kUntouched) << "sixteen bytes are written, no more";
    return result;
  }
  // The result the counts call for while the job is not finished.
  static int32_t RunningResult(const Counts& counts) {
    if (counts.total() <= 0) return 0;
    const uint64_t thousandths = counts.consumed() * 1000 / static_cast<uint64_t>(counts.total());
    return -static_cast<int32_t>(thousandths > 999 ? 999 : thousandths);
  }
};

TEST_F(ProgressTest, AbsentIdleAndFinishedIos) {
  Counts counts;
  EXPECT_EQ(api.progress(-424243, Var(counts.words), 0, 0), 0) << "absent IO";
  EXPECT_EQ(counts.words[0], kUntouched) << "nothing is written for an absent IO";

  const int32_t io = NewIo();
  EXPECT_EQ(Progress(io, counts), 0);
  EXPECT_EQ(counts.consumed(), 0u);
  EXPECT_EQ(counts.total(), -1) << "an idle IO has no input to measure";
  EXPECT_EQ(api.progress(io, nullptr, 0, 0), 0);

  std::mt19937 rng(77);
  BindMemoryInput(io, RandomString(rng, 5000));
  BindMemoryOutput(io);
  EXPECT_EQ(Progress(io, counts), 0) << "bound, nothing launched";
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(Progress(io, counts), TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts.consumed(), 5000u);
  EXPECT_EQ(counts.total(), 5000);
  EXPECT_EQ(api.progress(io, nullptr, 0, 0), TELVARN_PROGRESS_FINISHED) << "asking changes nothing";
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED);

  // Finished until the IO is bound again; a binding that fails binds nothing.
  const std::string missing = dir_.path("missing.bin");
  EXPECT_EQ(api.input_set(Var(missing.c_str()), io, TELVARN_MODE_FILE, 0), -1);
  EXPECT_EQ(Progress(io, counts), TELVARN_PROGRESS_FINISHED);
  BindMemoryOutput(io);
  EXPECT_EQ(Progress(io, counts), 0) << "bound again";
  EXPECT_EQ(counts.total(), -1);
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED) << "the state stays as it was";

  // A file of 70,001 bytes, then a job with no input, which digests the empty input.
  const std::string path = dir_.path("in.bin");
  WriteFile(path, RandomString(rng, 70001));
  BindFileInput(io, path);
  ASSERT_EQ(api.sha256(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_EQ(Progress(io, counts), TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts.consumed(), 70001u);
  EXPECT_EQ(counts.total(), 70001);
  ASSERT_EQ(api.initialize(io, 0, 0, 0), 0);
  EXPECT_EQ(Progress(io, counts), 0) << "initialised again";
  EXPECT_EQ(counts.total(), -1);
  BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(Progress(io, counts), TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts.consumed(), 0u);
  EXPECT_EQ(counts.total(), 0) << "no input: an empty one";
}

// A file job queued behind two held jobs reports nothing consumed of the file's
// length; once admitted it is held and released in steps, each letting it run
// for about the 10 ms that a resume pauses, so that it is seen part of the way
// whatever the machine's speed. The reports never go back, and end at finished
// with every byte consumed.
TEST_F(ProgressTest, AFileIsFollowedFromTheQueueToItsEnd) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  // SHA-512, the slowest job: about 128 ms at the fastest, far longer than a step.
  const uint64_t size = (uint64_t{128} << 20) + 1000;
  const std::string path = dir_.path("large.bin");
  MakeSizedFile(path, size);
  const int32_t io = NewIo();
  BindFileInput(io, path);
  char* out = BindMemoryOutput(io);
  g_any_launch = true;
  ASSERT_EQ(api.sha512(io, TELVARN_QUEUE, 4, 0), 0);
  Counts counts;
  EXPECT_EQ(Progress(io, counts), 0);
  EXPECT_EQ(counts.consumed(), 0u);
  EXPECT_EQ(counts.total(), static_cast<int64_t>(size)) << "the file's length, taken at launch";
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_LAUNCHED);

  Finish(a);
  ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_RUNNING));
  int32_t last = 0;
  uint64_t last_consumed = 0;
  int part_way = 0;
  for (int step = 0;; ++step) {
    ASSERT_LT(step, 100000) << "the job never finished";
    EXPECT_EQ(api.suspend(io, TELVARN_SUSPEND, 0, 0), 0);
    const int32_t result = Progress(io, counts);
    ASSERT_LE(result, last) << "step " << step;
    ASSERT_GE(counts.consumed(), last_consumed) << "step " << step;
    ASSERT_EQ(counts.total(), static_cast<int64_t>(size));
    if (result == TELVARN_PROGRESS_FINISHED) break;
    // Every byte may be in while the result is still being delivered.
    ASSERT_EQ(result, RunningResult(counts)) << counts.consumed() << " bytes consumed";
    ASSERT_LE(counts.consumed(), size);
    if (counts.consumed() < size) {
      EXPECT_EQ(counts.consumed() % 4096, 0u) << "counted a chunk at a time";
    }
    part_way += result < 0 ? 1 : 0;
    last = result;
    last_consumed = counts.consumed();
    api.suspend(io, TELVARN_RESUME, 0, 0);
  }
  EXPECT_EQ(counts.consumed(), size);
  EXPECT_GT(part_way, 0) << "never seen between the start and the end";
  std::printf("seen part of the way at %d steps\n", part_way);
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED);
  EXPECT_EQ(std::string(out, 128),
            "035933D0D14CA833CD7C5843D752797885EC3545636C598C7508EEE18320026C"
            "F2E16A480BAAECEF86FB069FD74011A6771DEDFB205B2A6FD22ABA2F1763B028")
      << "SHA-512 of the file's zero bytes (Python's hashlib)";
  Finish(b);
}

// A pipe has no length: its job reports 0 until it has finished, and its total as
// unknown throughout. Asking changes nothing on the live IO.
TEST_F(ProgressTest, APipeReportsNothingUntilItsEnd) {
  HeldJob job = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, job.io, TELVARN_JOB_RUNNING));
  Counts counts;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Progress(job.io, counts), 0);
    EXPECT_EQ(counts.consumed(), 0u);
    EXPECT_EQ(counts.total(), -1);
  }
  EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_RUNNING);
  const std::string bytes(10000, 'p');
  Finish(job, bytes);
  EXPECT_EQ(Progress(job.io, counts), TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts.consumed(), 10000u);
  EXPECT_EQ(counts.total(), -1);
}

// Past 4 GiB both counts need their high words: the total while the job waits
// in the queue, and both once it has finished.
TEST_F(ProgressTest, CountsPastFourGibibytes) {
  const uint64_t size = (uint64_t{1} << 32) + 4097;
  const std::string path = dir_.path("huge.bin");
  MakeSizedFile(path, size);
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  const int32_t io = NewIo();
  BindFileInput(io, path);
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, TELVARN_QUEUE, 4), 0);
  Counts counts;
  EXPECT_EQ(Progress(io, counts), 0);
  EXPECT_EQ(counts.words[0], 0u);
  EXPECT_EQ(counts.words[1], 0u);
  EXPECT_EQ(counts.words[2], 4097u);
  EXPECT_EQ(counts.words[3], 1u);

  Finish(a);
  Finish(b);
  ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED, kLongJobMs));
  EXPECT_EQ(Progress(io, counts), TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts.words[0], 4097u);
  EXPECT_EQ(counts.words[1], 1u);
  EXPECT_EQ(counts.words[2], 4097u);
  EXPECT_EQ(counts.words[3], 1u);
  // zlib's crc32 over 2^32 + 4097 zero bytes.
  EXPECT_EQ(std::string(out, 8), "1200F6F3");
}

}  // namespace
}  // namespace telvarn::test
