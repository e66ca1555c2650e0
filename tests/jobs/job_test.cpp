// The job engine through the exports: CRC jobs, the scheduler's admission rules, job
// control, and a stress run. The same suite runs against the linked core and, on
// Windows, against TelvarnHX.hpi.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job_fixture.h"
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
    ASSERT_EQ(c.job(io, 0, 0, 0), 0);
    const size_t n = std::strlen(c.expected);
    EXPECT_EQ(std::string(out, n), c.expected);
    EXPECT_EQ(out[n], kSentinel) << "exactly the result's characters are written";
    EXPECT_EQ(api.state(io, 0, 0, 0), -4);
  }
}

TEST_F(JobTest, FilesAndMemoryGiveTheSameCrcAcrossChunkBoundaries) {
  std::mt19937 rng(12345);
  for (size_t size : {0, 1, 1023, 1024, 1025, 4095, 4096, 4097, 70001}) {
    const std::string bytes = RandomBytes(rng, size);
    const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
    WriteFile(in, bytes);
    for (bool crc16 : {false, true}) {
      const std::string expected = crc16 ? ReferenceCrc16(bytes) : ReferenceCrc32(bytes);
      JobExport job = crc16 ? api.crc16 : api.crc32;
      g_any_launch = true;

      int32_t from_file = NewIo();
      BindFileInput(from_file, in);
      BindFileOutput(from_file, out);
      ASSERT_EQ(job(from_file, 0, 3, 0), 0);
      EXPECT_EQ(ReadFile(out), expected) << size << " bytes: the file holds just the text";
      EXPECT_FALSE(IsFileOpenHere(in));
      EXPECT_FALSE(IsFileOpenHere(out));

      int32_t from_memory = NewIo();
      BindMemoryInput(from_memory, bytes);
      char* memory_out = BindMemoryOutput(from_memory);
      ASSERT_EQ(job(from_memory, 0, 3, 0), 0);
      EXPECT_EQ(std::string(memory_out, expected.size()), expected) << size << " bytes";
    }
  }
}

TEST_F(JobTest, MemoryLengthsAreHonoured) {
  int32_t io = NewIo();
  BindMemoryInputLength(io, std::string("abc\0\0", 5), 5);
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(std::string(out, 8), ReferenceCrc32(std::string("abc\0\0", 5))) << "zero bytes included";

  io = NewIo();
  BindMemoryInputLength(io, "abc", -3);
  out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(std::string(out, 8), "00000000") << "a negative length reads nothing";

  io = NewIo();
  BindMemoryInput(io, "123456789");
  out = BindMemoryOutput(io, /*length=*/3);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(std::string(out, 4), "CBF#") << "an explicit output length bounds the write";

  io = NewIo();
  BindMemoryInput(io, "123456789");
  char room[16] = "ab";
  ASSERT_EQ(api.output_set(Var(room), io, 0, 0), 0);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(std::string(room, 8), "CBF43926") << "length 0 writes the whole text";
}

TEST_F(JobTest, ASecondJobWithoutNewBindingsReadsAndWritesNothing) {
  int32_t io = NewIo();
  BindMemoryInput(io, "123456789");
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(Crc32(io, 0), 0);
  std::memset(out, kSentinel, 8);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(std::string(out, 8), std::string(8, kSentinel));
  EXPECT_EQ(api.state(io, 0, 0, 0), -4);

  const std::string path = dir_.path("out.txt");
  BindFileOutput(io, path);
  ASSERT_EQ(Crc32(io, 0), 0);
  EXPECT_EQ(ReadFile(path), "00000000") << "no input bound: the empty message's CRC";
}

TEST_F(JobTest, AbsentIoStartsNothing) {
  EXPECT_EQ(Crc32(-424242, 0), -1);
  EXPECT_EQ(Crc32(-424242, 1), -1);
  EXPECT_EQ(api.crc16(-424242, 1, 1, 0), -1);
  EXPECT_EQ(api.state(-424242, 0, 0, 0), 0);
  EXPECT_EQ(api.wait(-424242, 0, 0, 0), 0);
  EXPECT_EQ(api.suspend(-424242, 1, 0, 0), 0);
}

TEST_F(JobTest, WaitAllIsMinusOneBeforeAnyLaunch) {
  if (g_any_launch) GTEST_SKIP() << "a job was launched earlier in this process";
  EXPECT_EQ(api.wait_all(0, 0, 0, 0), -1);
}

TEST_F(JobTest, StatesAndSuspensionThroughAJobsLife) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_EQ(AwaitState(a.io, -2), -2);
  ASSERT_EQ(AwaitState(b.io, -2), -2);
  HeldJob c = LaunchHeld(3);
  EXPECT_EQ(api.state(c.io, 0, 0, 0), -1) << "queued behind two running jobs";
  EXPECT_EQ(api.suspend(c.io, 0, 0, 0), 0);
  EXPECT_EQ(api.state(c.io, 0, 0, 0), -1) << "a queued job is not suspended";
  EXPECT_EQ(api.suspend(c.io, 1, 0, 0), 0);

  Finish(a);
  ASSERT_EQ(AwaitState(c.io, -2), -2);
  EXPECT_EQ(api.suspend(c.io, 1, 0, 0), 0) << "resuming a running job changes nothing";
  for (int32_t suspend_arg : {0, 2, -1}) {
    EXPECT_EQ(api.suspend(c.io, suspend_arg, 0, 0), 0);
    EXPECT_EQ(api.state(c.io, 0, 0, 0), -3);
    EXPECT_EQ(api.suspend(c.io, 1, 0, 0), -1);
    EXPECT_EQ(api.state(c.io, 0, 0, 0), -2);
    EXPECT_EQ(api.suspend(c.io, 1, 0, 0), 0);
  }

  // Held at its next chunk boundary: the input arrives, but the job stays put.
  ASSERT_EQ(api.suspend(c.io, 0, 0, 0), 0);
  c.input->Release("suspended");
  ExpectStaysFor({c.io}, -3, 300);
  EXPECT_EQ(c.output[0], kSentinel);
  EXPECT_EQ(api.suspend(c.io, 1, 0, 0), -1);
  ASSERT_EQ(AwaitState(c.io, -4), -4);
  EXPECT_EQ(std::string(c.output, 8), ReferenceCrc32("suspended"));
  EXPECT_EQ(api.suspend(c.io, 0, 0, 0), 0);
  EXPECT_EQ(api.state(c.io, 0, 0, 0), -4) << "a finished job is never marked suspended";
  Finish(b);
}

TEST_F(JobTest, AtMostTwoOrdinaryJobsRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3), c = LaunchHeld(3);
  ASSERT_EQ(AwaitState(a.io, -2), -2);
  ASSERT_EQ(AwaitState(b.io, -2), -2);
  ExpectStaysFor({c.io}, -1, 500);
  Finish(b);
  EXPECT_EQ(AwaitState(c.io, -2), -2);
  EXPECT_EQ(api.state(a.io, 0, 0, 0), -2);
  Finish(a);
  Finish(c);
}

TEST_F(JobTest, QueuedJobsStartByPriorityThenInLaunchOrder) {
  HeldJob blocker_a = LaunchHeld(3), blocker_b = LaunchHeld(3);
  ASSERT_EQ(AwaitState(blocker_a.io, -2), -2);
  ASSERT_EQ(AwaitState(blocker_b.io, -2), -2);
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
    ASSERT_EQ(AwaitState(next.io, -2), -2) << "step " << step;
    for (size_t later = step + 1; later < queued.size(); ++later) {
      EXPECT_EQ(api.state(queued[expected_order[later]].io, 0, 0, 0), -1) << "step " << step;
    }
    to_release = &next;
  }
  Finish(*to_release);
  Finish(blocker_b);
}

TEST_F(JobTest, PriorityOneStartsWhileTwoRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(4);
  ASSERT_EQ(AwaitState(a.io, -2), -2);
  ASSERT_EQ(AwaitState(b.io, -2), -2);
  HeldJob urgent = LaunchHeld(1);
  EXPECT_EQ(AwaitState(urgent.io, -2), -2);
  HeldJob ordinary = LaunchHeld(2);
  ExpectStaysFor({ordinary.io}, -1, 500);
  Finish(urgent);
  ExpectStaysFor({ordinary.io}, -1, 500);
  Finish(a);
  EXPECT_EQ(AwaitState(ordinary.io, -2), -2);
  Finish(b);
  Finish(ordinary);
}

TEST_F(JobTest, ImmediateJobsBeyondSixtyFourWaitTheirTurn) {
  constexpr int kJobs = 66;
  std::vector<HeldJob> jobs;
  for (int i = 0; i < kJobs; ++i) jobs.push_back(LaunchHeld(1));
  auto count_in = [&](int32_t state) {
    int n = 0;
    for (HeldJob& job : jobs) n += api.state(job.io, 0, 0, 0) == state ? 1 : 0;
    return n;
  };
  int running = 0;
  for (int sweep = 0; sweep < 100 && running < 64; ++sweep) running = count_in(-2);
  EXPECT_EQ(running, 64) << "one wait watches at most 64 workers";
  EXPECT_EQ(api.state(jobs[64].io, 0, 0, 0), -1);
  EXPECT_EQ(api.state(jobs[65].io, 0, 0, 0), -1);
  Finish(jobs[0]);
  EXPECT_EQ(AwaitState(jobs[64].io, -2), -2) << "the oldest queued job takes the freed place";
  EXPECT_EQ(api.state(jobs[65].io, 0, 0, 0), -1);
  for (int i = 1; i < kJobs; ++i) Finish(jobs[i]);
}

TEST_F(JobTest, WaitResults) {
  int32_t idle = NewIo();
  EXPECT_EQ(api.wait(idle, 0, 0, 0), 0) << "nothing launched";

  int32_t sync = NewIo();
  BindMemoryInput(sync, "123456789");
  BindMemoryOutput(sync);
  ASSERT_EQ(Crc32(sync, 0), 0);
  EXPECT_EQ(api.wait(sync, kInfiniteWait, 0, 0), 0) << "a synchronous job's handle is closed";

  HeldJob held = LaunchHeld(3);
  ASSERT_EQ(AwaitState(held.io, -2), -2);
  EXPECT_EQ(api.wait(held.io, 0, 0, 0), -1);
  EXPECT_EQ(api.wait(held.io, 50, 0, 0), -1);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.input->Release("waited");
  });
  EXPECT_EQ(api.wait(held.io, kInfiniteWait, 0, 0), -2);
  releaser.join();
  EXPECT_EQ(api.state(held.io, 0, 0, 0), -4);
  EXPECT_EQ(std::string(held.output, 8), ReferenceCrc32("waited"));
  EXPECT_EQ(api.wait(held.io, kInfiniteWait, 0, 0), 0) << "an ended job leaves nothing to wait on";
}

TEST_F(JobTest, WaitOnAQueuedJobLastsUntilItHasRun) {
  HeldJob a = LaunchHeld(3), b = LaunchHeld(3);
  ASSERT_EQ(AwaitState(a.io, -2), -2);
  ASSERT_EQ(AwaitState(b.io, -2), -2);
  int32_t queued = NewIo();
  BindMemoryInput(queued, "123456789");
  char* out = BindMemoryOutput(queued);
  ASSERT_EQ(Crc32(queued, 1, 5), 0);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    a.input->Release("a");
  });
  EXPECT_EQ(api.wait(queued, kInfiniteWait, 0, 0), -2);
  releaser.join();
  EXPECT_EQ(std::string(out, 8), "CBF43926");
  Finish(b);
}

TEST_F(JobTest, WaitAllReportsIdleAfterTheLastAsynchronousJob) {
  HeldJob held = LaunchHeld(3);
  ASSERT_EQ(AwaitState(held.io, -2), -2);
  EXPECT_EQ(api.wait_all(0, 0, 0, 0), -1);
  Finish(held);
  int32_t result = -1;
  for (int i = 0; i < 50 && result != -2; ++i) result = api.wait_all(0, 0, 0, 0);
  EXPECT_EQ(result, -2);
}

TEST_F(JobTest, LargeFilesAreDigestedWhole) {
  const std::string path = dir_.path("huge.bin"), out = dir_.path("huge.txt");
  MakeSizedFile(path, (uint64_t{1} << 31) + 5);
  int32_t io = NewIo();
  BindFileInput(io, path);
  BindFileOutput(io, out);
  ASSERT_EQ(Crc32(io, 0), 0);
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

  // Start the scheduler first: its own thread and handle stay for the module's life.
  {
    int32_t io = NewIo();
    BindMemoryInput(io, "warm-up");
    BindMemoryOutput(io);
    ASSERT_EQ(Crc32(io, 1), 0);
    ASSERT_EQ(AwaitState(io, -4), -4);
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
  int32_t idle = -1;
  for (int i = 0; i < 50 && idle != -2; ++i) idle = api.wait_all(0, 0, 0, 0);
  ASSERT_EQ(idle, -2);
  const int64_t handles_before = OpenHandles();
  auto check_done = [&](Slot& s) {
    if (!s.busy) return;
    api.suspend(s.io, 1, 0, 0);
    ASSERT_EQ(AwaitState(s.io, -4), -4);
    const size_t n = s.expected.size();
    ASSERT_EQ(std::string(s.output, n), s.expected) << "IO " << s.io;
    ASSERT_EQ(s.output[n], kSentinel);
    s.busy = false;
  };

  for (int job = 0; job < kJobs; ++job) {
    Slot& s = slots[rng() % kIos];
    check_done(s);
    if (::testing::Test::HasFatalFailure()) return;
    s.input = RandomBytes(rng, 1 + rng() % 200000);
    bool crc16 = rng() % 3 == 0;
    s.expected = crc16 ? ReferenceCrc16(s.input) : ReferenceCrc32(s.input);
    BindMemoryInput(s.io, s.input);
    s.output = BindMemoryOutput(s.io);
    int32_t priority = static_cast<int32_t>(rng() % 8);
    g_any_launch = true;
    ASSERT_EQ((crc16 ? api.crc16 : api.crc32)(s.io, 1, priority, 0), 0);
    s.busy = true;
    if (rng() % 4 == 0) {
      Slot& other = slots[rng() % kIos];
      api.suspend(other.io, 0, 0, 0);
      if (rng() % 2 == 0) api.suspend(other.io, 1, 0, 0);
    }
  }
  for (Slot& s : slots) api.suspend(s.io, 1, 0, 0);
  for (Slot& s : slots) {
    check_done(s);
    if (::testing::Test::HasFatalFailure()) return;
  }
  idle = -1;
  for (int i = 0; i < 50 && idle != -2; ++i) idle = api.wait_all(0, 0, 0, 0);
  EXPECT_EQ(idle, -2);
  EXPECT_EQ(OpenHandles(), handles_before) << "every job's handles are closed";
}

}  // namespace
}  // namespace telvarn::test
