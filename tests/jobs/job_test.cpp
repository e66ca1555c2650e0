// The job engine through the exports: CRC jobs, the scheduler's admission rules and
// the threads it keeps, job control, and a stress run. The same suite runs against
// the linked core and, on Windows, against the module (TelvarnHX.hpi or
// TelvarnHX64.hpi).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/job_scheduler.h"
#include "jobs/job_fixture.h"
#include "jobs/job_kinds.h"
#include "support/test_support.h"

#if !defined(_WIN32)
#include "platform/platform.h"
#endif

namespace telvarn::test {
namespace {

TEST_F(JobTest, CrcKnownAnswersFromMemory) {
  struct Case {
    JobExport job;
    const char* input;
    const char* expected;
  } cases[] = {
      {api.crc32, "123456789", "CBF43926"},
      {api.crc32, "", "00000000"},
      {api.crc16, "123456789", "6F91"},
      {api.crc16, "", "FFFF"},
  };
  for (const Case& c : cases) {
    int32_t io = NewIo();
    BindMemoryInputLength(io, c.input, 0);
    char* out = BindMemoryOutput(io);
    g_any_launch = true;
    ASSERT_EQ(c.job(io, TELVARN_RUN_NOW, 0, 0), 0);
    const size_t n = std::strlen(c.expected);
    EXPECT_EQ(std::string(out, n), c.expected);
    EXPECT_EQ(out[n], kSentinel) << "exactly the result's characters are written";
    EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED);
  }
}

TEST_F(JobTest, FilesAndMemoryGiveTheSameCrcAcrossChunkAndSpanBoundaries) {
  std::mt19937 rng(12345);
  for (size_t size : {0, 1, 1023, 1024, 1025, 4095, 4096, 4097, 65535, 65536, 65537, 70001, 131073}) {
    const std::string bytes = RandomString(rng, size);
    const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
    WriteFile(in, bytes);
    for (bool crc16 : {false, true}) {
      const std::string expected = crc16 ? ReferenceCrc16(bytes) : ReferenceCrc32(bytes);
      JobExport job = crc16 ? api.crc16 : api.crc32;
      g_any_launch = true;

      int32_t from_file = NewIo();
      BindFileInput(from_file, in);
      BindFileOutput(from_file, out);
      ASSERT_EQ(job(from_file, TELVARN_RUN_NOW, 3, 0), 0);
      EXPECT_EQ(ReadFile(out), expected) << size << " bytes: the file holds just the text";
      EXPECT_FALSE(IsFileOpenHere(in));
      EXPECT_FALSE(IsFileOpenHere(out));

      int32_t from_memory = NewIo();
      BindMemoryInput(from_memory, bytes);
      char* memory_out = BindMemoryOutput(from_memory);
      ASSERT_EQ(job(from_memory, TELVARN_RUN_NOW, 3, 0), 0);
      EXPECT_EQ(std::string(memory_out, expected.size()), expected) << size << " bytes";
    }
  }
}

TEST_F(JobTest, MemoryLengthsAreHonoured) {
  int32_t io = NewIo();
  BindMemoryInputLength(io, std::string("abc\0\0", 5), 5);
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(std::string(out, 8), ReferenceCrc32(std::string("abc\0\0", 5))) << "zero bytes included";

  io = NewIo();
  BindMemoryInputLength(io, "abc", -3);
  out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(std::string(out, 8), "00000000") << "a negative length reads nothing";

  io = NewIo();
  BindMemoryInput(io, "123456789");
  out = BindMemoryOutput(io, /*length=*/3);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(std::string(out, 4), "CBF#") << "an explicit output length bounds the write";

  io = NewIo();
  BindMemoryInput(io, "123456789");
  char room[16] = "ab";
  ASSERT_EQ(api.output_set(Var(room), io, TELVARN_MODE_MEMORY, 0), 0);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(std::string(room, 8), "CBF43926") << "length 0 writes the whole text";
}

TEST_F(JobTest, ASecondJobWithoutNewBindingsReadsAndWritesNothing) {
  int32_t io = NewIo();
  BindMemoryInput(io, "123456789");
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  std::memset(out, kSentinel, 8);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(std::string(out, 8), std::string(8, kSentinel));
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED);

  const std::string path = dir_.path("out.txt");
  BindFileOutput(io, path);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(ReadFile(path), "00000000") << "no input bound: the empty message's CRC";
}

TEST_F(JobTest, AbsentIoStartsNothing) {
  EXPECT_EQ(Crc32(-424242, TELVARN_RUN_NOW), -1);
  EXPECT_EQ(Crc32(-424242, TELVARN_QUEUE), -1);
  EXPECT_EQ(api.crc16(-424242, TELVARN_QUEUE, 1, 0), -1);
  EXPECT_EQ(api.state(-424242, 0, 0, 0), 0) << "absent IO";
  EXPECT_EQ(api.wait(-424242, 0, 0, 0), TELVARN_WAIT_NOTHING);
  EXPECT_EQ(api.suspend(-424242, TELVARN_RESUME, 0, 0), 0);
}

TEST_F(JobTest, WaitAllIsBusyBeforeAnyLaunch) {
  if (g_any_launch) GTEST_SKIP() << "a job was launched earlier in this process";
  EXPECT_EQ(api.wait_all(0, 0, 0, 0), TELVARN_ALL_BUSY);
}

TEST_F(JobTest, StatesAndSuspensionThroughAJobsLife) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  HeldJob c = LaunchHeld(3);
  EXPECT_EQ(JobState(api, c.io), TELVARN_JOB_LAUNCHED) << "queued behind two running jobs";
  EXPECT_EQ(api.suspend(c.io, TELVARN_SUSPEND, 0, 0), 0);
  EXPECT_EQ(JobState(api, c.io), TELVARN_JOB_LAUNCHED) << "a queued job is not suspended";
  EXPECT_EQ(api.suspend(c.io, TELVARN_RESUME, 0, 0), 0);

  Finish(a);
  ASSERT_TRUE(Reaches(api, c.io, TELVARN_JOB_RUNNING));
  EXPECT_EQ(api.suspend(c.io, TELVARN_RESUME, 0, 0), 0) << "resuming a running job changes nothing";
  for (int32_t suspend_arg : {TELVARN_SUSPEND, 2, -1}) {
    EXPECT_EQ(api.suspend(c.io, suspend_arg, 0, 0), 0);
    EXPECT_EQ(JobState(api, c.io), TELVARN_JOB_SUSPENDED);
    EXPECT_EQ(api.suspend(c.io, TELVARN_RESUME, 0, 0), TELVARN_RESUMED);
    EXPECT_EQ(JobState(api, c.io), TELVARN_JOB_RUNNING);
    EXPECT_EQ(api.suspend(c.io, TELVARN_RESUME, 0, 0), 0);
  }

  // Held at its next chunk boundary: the input arrives, but the job stays put.
  ASSERT_EQ(api.suspend(c.io, TELVARN_SUSPEND, 0, 0), 0);
  c.input->Release("suspended");
  ExpectStaysFor({c.io}, TELVARN_JOB_SUSPENDED, 300);
  EXPECT_EQ(c.output[0], kSentinel);
  EXPECT_EQ(api.suspend(c.io, TELVARN_RESUME, 0, 0), TELVARN_RESUMED);
  ASSERT_TRUE(Reaches(api, c.io, TELVARN_JOB_FINISHED));
  EXPECT_EQ(std::string(c.output, 8), ReferenceCrc32("suspended"));
  EXPECT_EQ(api.suspend(c.io, TELVARN_SUSPEND, 0, 0), 0);
  EXPECT_EQ(JobState(api, c.io), TELVARN_JOB_FINISHED) << "a finished job is never marked suspended";
  Finish(b);
}

TEST_F(JobTest, AtMostTwoOrdinaryJobsRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3), c = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  ExpectStaysFor({c.io}, TELVARN_JOB_LAUNCHED, 500);
  Finish(b);
  EXPECT_TRUE(Reaches(api, c.io, TELVARN_JOB_RUNNING));
  EXPECT_EQ(JobState(api, a.io), TELVARN_JOB_RUNNING);
  Finish(a);
  Finish(c);
}

TEST_F(JobTest, QueuedJobsStartByPriorityThenInLaunchOrder) {
  HeldJob blocker_a = LaunchHeld(3), blocker_b = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, blocker_a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, blocker_b.io, TELVARN_JOB_RUNNING));
  // Priorities 0, 7 and negative ones count as 4; jobs of one level start in
  // launch order.
  const int32_t priorities[] = {6, 5, 2, 0, 4, 7, -5, INT32_MIN};
  std::vector<HeldJob> queued;
  for (int32_t p : priorities) queued.push_back(LaunchHeld(p));
  const size_t expected_order[] = {2, 3, 4, 5, 6, 7, 1, 0};

  HeldJob* to_release = &blocker_a;
  for (size_t step = 0; step < queued.size(); ++step) {
    Finish(*to_release);
    HeldJob& next = queued[expected_order[step]];
    ASSERT_TRUE(Reaches(api, next.io, TELVARN_JOB_RUNNING)) << "step " << step;
    for (size_t later = step + 1; later < queued.size(); ++later) {
      EXPECT_EQ(JobState(api, queued[expected_order[later]].io), TELVARN_JOB_LAUNCHED) << "step " << step;
    }
    to_release = &next;
  }
  Finish(*to_release);
  Finish(blocker_b);
}

TEST_F(JobTest, PriorityOneStartsWhileTwoRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(4);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  HeldJob urgent = LaunchHeld(1);
  EXPECT_TRUE(Reaches(api, urgent.io, TELVARN_JOB_RUNNING));
  HeldJob ordinary = LaunchHeld(2);
  ExpectStaysFor({ordinary.io}, TELVARN_JOB_LAUNCHED, 500);
  Finish(urgent);
  ExpectStaysFor({ordinary.io}, TELVARN_JOB_LAUNCHED, 500);
  Finish(a);
  EXPECT_TRUE(Reaches(api, ordinary.io, TELVARN_JOB_RUNNING));
  Finish(b);
  Finish(ordinary);
}

TEST_F(JobTest, ImmediateJobsBeyondSixtyFourWaitTheirTurn) {
  constexpr int kJobs = 66;
  std::vector<HeldJob> jobs;
  for (int i = 0; i < kJobs; ++i) jobs.push_back(LaunchHeld(1));
  auto count_in = [&](int32_t state) {
    int n = 0;
    for (HeldJob& job : jobs) n += JobState(api, job.io) == state ? 1 : 0;
    return n;
  };
  int running = 0;
  for (int sweep = 0; sweep < 100 && running < 64; ++sweep) running = count_in(TELVARN_JOB_RUNNING);
  EXPECT_EQ(running, 64) << "at most 64 jobs run at once";
  EXPECT_EQ(JobState(api, jobs[64].io), TELVARN_JOB_LAUNCHED);
  EXPECT_EQ(JobState(api, jobs[65].io), TELVARN_JOB_LAUNCHED);
  Finish(jobs[0]);
  EXPECT_TRUE(Reaches(api, jobs[64].io, TELVARN_JOB_RUNNING)) << "the oldest queued job takes the freed place";
  EXPECT_EQ(JobState(api, jobs[65].io), TELVARN_JOB_LAUNCHED);
  for (int i = 1; i < kJobs; ++i) Finish(jobs[i]);
}

// Counts the process's threads over and over on a thread of its own, from
// construction until stop() or destruction, keeping the highest count.
class ThreadCountSampler {
 public:
  ThreadCountSampler() : thread_([this] { Sample(); }) {}
  ~ThreadCountSampler() { stop(); }
  ThreadCountSampler(const ThreadCountSampler&) = delete;
  ThreadCountSampler& operator=(const ThreadCountSampler&) = delete;

  void stop() {
    sampling_ = false;
    if (thread_.joinable()) thread_.join();
  }
  // After stop(): the highest count, and how many counts failed.
  int64_t peak() const { return peak_; }
  int64_t failures() const { return failures_; }

 private:
  void Sample() {
    while (sampling_) {
      const int64_t count = CountProcessThreads();
      if (count < 0) {
        ++failures_;
      } else {
        peak_ = std::max(peak_, count);
      }
    }
  }

  std::atomic<bool> sampling_{true};
  // Written by the sampling thread only, read once it has been joined.
  int64_t peak_ = 0;
  int64_t failures_ = 0;
  std::thread thread_;
};

// Ten thousand short jobs queued at once: none is refused, each delivers its own
// result, and while they drain, up to 64 at once, the process holds at most one
// thread per running job besides its own: a job's place is free only once its
// thread has ended.
TEST_F(JobTest, TenThousandQueuedJobsDeliverWithinTheThreadLimit) {
  constexpr int kJobs = 10000;
  // Besides the job threads: the scheduler's and the sampler's, and room for two
  // that the runtime or Wine may make of their own accord.
  constexpr int64_t kOtherThreads = 2 + 2;

  RunNow(api.crc32, NewIo(), "warm-up");
  g_any_launch = true;
  ASSERT_TRUE(AllJobsEnd(api, 50));
  const int64_t before = CountProcessThreads();
  ASSERT_GT(before, 0);

  struct Launched {
    int32_t io;
    std::string expected;
    char* output;
  };
  std::vector<Launched> jobs;
  jobs.reserve(kJobs);
  const auto started = std::chrono::steady_clock::now();
  ThreadCountSampler sampler;
  for (int i = 0; i < kJobs; ++i) {
    const std::string text = "job " + std::to_string(i);
    Launched job{NewIo(), ReferenceCrc32(text), nullptr};
    BindMemoryInput(job.io, text);
    job.output = BindMemoryOutput(job.io);
    // Mostly the immediate level, which admits many at a time; some ordinary ones.
    ASSERT_EQ(Crc32(job.io, TELVARN_QUEUE, i % 100 == 0 ? 4 : TELVARN_PRIORITY_IMMEDIATE), 0) << "job " << i;
    jobs.push_back(job);
  }
  // At least 157 passes of 64 jobs, each after a 100 ms sleep, and 10,000 threads
  // made: under ThreadSanitizer up to a minute and a half on a busy machine.
  ASSERT_TRUE(AllJobsEnd(api, 1500));
  sampler.stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%d jobs in %.1f s: at most %lld threads, %lld before they were launched\n", kJobs, seconds,
              static_cast<long long>(sampler.peak()), static_cast<long long>(before));

  for (const Launched& job : jobs) {
    ASSERT_EQ(std::string(job.output, 8), job.expected) << "IO " << job.io;
    ASSERT_EQ(job.output[8], kSentinel) << "IO " << job.io;
  }
  EXPECT_EQ(sampler.failures(), 0);
  EXPECT_LE(sampler.peak() - before, int64_t{JobScheduler::kMaxRunning} + kOtherThreads);
}

// A job launched about when the scheduler thread, with nothing left, ends itself
// is still admitted: its launch either keeps the thread or makes the next one.
// The thread ends about 100 ms after the job before it has finished; the pauses
// only place the launches at steps across that moment, and every launch must be
// admitted whichever side of it the launch falls.
TEST_F(JobTest, AJobLaunchedAsTheSchedulerEndsItselfIsAdmitted) {
  constexpr int kRounds = 12;
  const int32_t io = NewIo();
  auto run_to_its_end = [&](const std::string& text) {
    BindMemoryInput(io, text);
    char* out = BindMemoryOutput(io);
    ASSERT_EQ(Crc32(io, TELVARN_QUEUE, TELVARN_PRIORITY_IMMEDIATE), 0);
    ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED)) << text;
    ASSERT_EQ(std::string(out, 8), ReferenceCrc32(text));
  };
  for (int round = 0; round < kRounds; ++round) {
    run_to_its_end("before " + std::to_string(round));
    if (HasFatalFailure()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(60 + 8 * round));
    run_to_its_end("after " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST_F(JobTest, WaitResults) {
  int32_t idle = NewIo();
  EXPECT_EQ(api.wait(idle, 0, 0, 0), TELVARN_WAIT_NOTHING) << "nothing launched";

  int32_t sync = NewIo();
  BindMemoryInput(sync, "123456789");
  BindMemoryOutput(sync);
  ASSERT_EQ(Crc32(sync, TELVARN_RUN_NOW), 0);
  EXPECT_EQ(api.wait(sync, TELVARN_WAIT_INFINITE, 0, 0), TELVARN_WAIT_NOTHING) << "a synchronous job has ended before the wait";

  HeldJob held = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, held.io, TELVARN_JOB_RUNNING));
  EXPECT_EQ(api.wait(held.io, 0, 0, 0), TELVARN_WAIT_TIMED_OUT);
  EXPECT_EQ(api.wait(held.io, 50, 0, 0), TELVARN_WAIT_TIMED_OUT);
  EXPECT_EQ(WaitWhileTheJobEnds([&] { return api.wait(held.io, TELVARN_WAIT_INFINITE, 0, 0); },
                                [&] { held.input->Release("waited"); }),
            TELVARN_WAIT_ENDED);
  EXPECT_EQ(JobState(api, held.io), TELVARN_JOB_FINISHED);
  EXPECT_EQ(std::string(held.output, 8), ReferenceCrc32("waited"));
  EXPECT_EQ(api.wait(held.io, TELVARN_WAIT_INFINITE, 0, 0), TELVARN_WAIT_NOTHING) << "an ended job leaves nothing to wait on";
}

TEST_F(JobTest, WaitOnAQueuedJobLastsUntilItHasRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, a.io, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api, b.io, TELVARN_JOB_RUNNING));
  int32_t queued = NewIo();
  BindMemoryInput(queued, "123456789");
  char* out = BindMemoryOutput(queued);
  ASSERT_EQ(Crc32(queued, TELVARN_QUEUE, 5), 0);
  EXPECT_EQ(WaitWhileTheJobEnds([&] { return api.wait(queued, TELVARN_WAIT_INFINITE, 0, 0); },
                                [&] { a.input->Release("a"); }),
            TELVARN_WAIT_ENDED);
  EXPECT_EQ(std::string(out, 8), "CBF43926");
  Finish(b);
}

TEST_F(JobTest, WaitAllReportsIdleAfterTheLastAsynchronousJob) {
  HeldJob held = LaunchHeld(3);
  ASSERT_TRUE(Reaches(api, held.io, TELVARN_JOB_RUNNING));
  EXPECT_EQ(api.wait_all(0, 0, 0, 0), TELVARN_ALL_BUSY);
  Finish(held);
  EXPECT_TRUE(AllJobsEnd(api, 50));
}

TEST_F(JobTest, LargeFilesAreDigestedWhole) {
  const std::string path = dir_.path("huge.bin"), out = dir_.path("huge.txt");
  MakeSizedFile(path, (uint64_t{1} << 31) + 5);
  int32_t io = NewIo();
  BindFileInput(io, path);
  BindFileOutput(io, out);
  ASSERT_EQ(Crc32(io, TELVARN_RUN_NOW), 0);
  // zlib's crc32 over 2^31 + 5 zero bytes.
  EXPECT_EQ(ReadFile(out), "C70C0FB9");
}

// Counts what a job run can leave open: handles (Windows) or descriptors and
// thread records (elsewhere).
int64_t OpenHandles() {
#if defined(_WIN32)
  return CountProcessHandles();
#else
  return CountProcessHandles() + platform::StdCppOs::live_thread_records();
#endif
}

TEST_F(JobTest, StressManyJobsWithRandomPrioritiesAndSuspensions) {
  std::mt19937 rng(20261208);
  constexpr int kIos = 24;
  constexpr int kJobs = 200;

  // One job before the count: what the first launch sets up once is no leak.
  {
    int32_t io = NewIo();
    BindMemoryInput(io, "warm-up");
    BindMemoryOutput(io);
    ASSERT_EQ(Crc32(io, TELVARN_QUEUE), 0);
    ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED));
  }
  struct Slot {
    int32_t io;
    std::string input;
    std::string expected;
    char* output = nullptr;
    bool busy = false;
  };
  std::vector<Slot> slots(kIos);
  for (Slot& s : slots) s.io = NewIo();
  ASSERT_TRUE(AllJobsEnd(api, 50));
  const int64_t handles_before = OpenHandles();
  auto check_done = [&](Slot& s) {
    if (!s.busy) return;
    api.suspend(s.io, TELVARN_RESUME, 0, 0);
    ASSERT_TRUE(Reaches(api, s.io, TELVARN_JOB_FINISHED));
    const size_t n = s.expected.size();
    ASSERT_EQ(std::string(s.output, n), s.expected) << "IO " << s.io;
    ASSERT_EQ(s.output[n], kSentinel);
    s.busy = false;
  };

  for (int job = 0; job < kJobs; ++job) {
    Slot& s = slots[rng() % kIos];
    check_done(s);
    if (::testing::Test::HasFatalFailure()) return;
    s.input = RandomString(rng, 1 + rng() % 200000);
    bool crc16 = rng() % 3 == 0;
    s.expected = crc16 ? ReferenceCrc16(s.input) : ReferenceCrc32(s.input);
    BindMemoryInput(s.io, s.input);
    s.output = BindMemoryOutput(s.io);
    int32_t priority = static_cast<int32_t>(rng() % 8);
    g_any_launch = true;
    ASSERT_EQ((crc16 ? api.crc16 : api.crc32)(s.io, TELVARN_QUEUE, priority, 0), 0);
    s.busy = true;
    if (rng() % 4 == 0) {
      Slot& other = slots[rng() % kIos];
      api.suspend(other.io, TELVARN_SUSPEND, 0, 0);
      if (rng() % 2 == 0) api.suspend(other.io, TELVARN_RESUME, 0, 0);
    }
  }
  for (Slot& s : slots) api.suspend(s.io, TELVARN_RESUME, 0, 0);
  for (Slot& s : slots) {
    check_done(s);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_TRUE(AllJobsEnd(api, 50));
  EXPECT_EQ(OpenHandles(), handles_before) << "every job's handles are closed";
}

// BLAKE3 jobs over inputs large enough to share among helper threads, suspended,
// resumed and cancelled while they run: a resumed job delivers the one-thread
// hash; a cancelled one delivers nothing, or (finished first) the whole hash;
// once every job has ended, no handle, descriptor or thread is left, helpers
// included.
TEST_F(JobTest, Blake3JobsWithHelpersSuspendResumeAndCancelCleanly) {
  std::mt19937 rng(3);
  const std::string message = RandomString(rng, size_t{24} << 20);
  const std::string expected = ReferenceBlake3Plain(message);
  int64_t handles_before = 0;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    // The first suspension and the first cancellation set up what they need once.
    if (round == 2) {
      ASSERT_TRUE(AllJobsEnd(api, 50));
      handles_before = OpenHandles();
    }
    const int32_t io = NewIo();
    BindMemoryInput(io, message);
    char* out = BindMemoryOutput(io);
    g_any_launch = true;
    ASSERT_EQ(api.digest(io, TELVARN_ALGORITHM_BLAKE3, TELVARN_DIGEST_QUEUE, 3), 0);
    while (JobState(api, io) == TELVARN_JOB_LAUNCHED) std::this_thread::yield();
    if (round % 2 == 0) {
      api.suspend(io, TELVARN_SUSPEND, 0, 0);
      const int32_t state = JobState(api, io);
      EXPECT_TRUE(state == TELVARN_JOB_SUSPENDED || state == TELVARN_JOB_FINISHED) << state;
      api.suspend(io, TELVARN_RESUME, 0, 0);
      ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED));
      EXPECT_EQ(std::string(out, expected.size()), expected);
    } else {
      EXPECT_EQ(api.initialize(io, 0, 0, 0), 0);
      EXPECT_EQ(JobState(api, io), TELVARN_JOB_IDLE);
      ASSERT_TRUE(AllJobsEnd(api, 50));
      const std::string delivered(out, expected.size());
      EXPECT_TRUE(delivered == std::string(expected.size(), kSentinel) || delivered == expected) << delivered;
    }
  }
  EXPECT_TRUE(AllJobsEnd(api, 50));
  EXPECT_EQ(OpenHandles(), handles_before) << "every job's helpers have ended";
}

}  // namespace
}  // namespace telvarn::test
