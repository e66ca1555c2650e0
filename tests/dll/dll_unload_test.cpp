// Unloading the module with FreeLibrary while jobs are queued, running, suspended or
// finished: the host's call returns promptly, the process lives on, no job is lost,
// the module goes once its last job has ended, and it leaves no more behind than a
// trivial DLL does.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <ostream>
#include <string>

#include <windows.h>

#include "dll/process_footprint.h"
#include "jobs/api.h"
#include "jobs/job_fixture.h"
#include "support/test_support.h"

namespace telvarn::test {
namespace {

constexpr char kModuleName[] = TELVARN_MODULE_NAME;

class Unload : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetModuleHandleA(kModuleName) != nullptr) GTEST_SKIP() << "module loaded by another test";
    Load();
  }

  void Load() {
    module_ = LoadLibraryA(kModuleName);
    ASSERT_NE(module_, nullptr);
    std::string error;
    ASSERT_TRUE(BindModuleExports(module_, api_, error)) << error;
  }

  // FreeLibrary, timed.
  std::chrono::milliseconds Free() {
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(FreeLibrary(module_));
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  }
  static bool Loaded() { return GetModuleHandleA(kModuleName) != nullptr; }
  static bool AwaitUnloaded() { return AwaitModuleUnloaded(kModuleName); }

  // The module reads a descriptor during the call only, so one record serves.
  const VarDesc* Var(const void* data) {
    var_ = HostVar(data);
    return &var_;
  }
  // Launches a CRC-32 job reading `input` (a file name) into the file `output`.
  void LaunchFileJob(int32_t io, const std::string& input, const std::string& output,
                     int32_t priority = 3) {
    names_.push_back(input);
    names_.push_back(output);
    ASSERT_EQ(api_.initialize(io, 0, 0, 0), 0);
    ASSERT_EQ(api_.input_set(Var(names_[names_.size() - 2].c_str()), io, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(api_.output_set(Var(names_.back().c_str()), io, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(api_.crc32(io, TELVARN_QUEUE, priority, 0), 0);
  }

  HMODULE module_ = nullptr;
  Api api_{};
  TempDir dir_;
  VarDesc var_{};
  std::vector<std::string> names_;
};

TEST_F(Unload, WithoutJobsClosesEveryBoundFile) {
  const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
  WriteFile(in, "0123456789");
  names_ = {in, out};
  for (int32_t io = 0; io < 5; ++io) ASSERT_EQ(api_.initialize(io, 0, 0, 0), 0);
  ASSERT_EQ(api_.input_set(Var(names_[0].c_str()), 3, TELVARN_MODE_FILE, 0), 0);
  ASSERT_EQ(api_.output_set(Var(names_[1].c_str()), 3, TELVARN_MODE_FILE, 0), 0);
  EXPECT_LT(Free().count(), 1000);
  EXPECT_FALSE(Loaded());
  EXPECT_FALSE(IsFileOpenHere(in));
  EXPECT_FALSE(IsFileOpenHere(out));
}

TEST_F(Unload, WhileTheSchedulerIsIdle) {
  const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
  WriteFile(in, "123456789");
  LaunchFileJob(7, in, out);
  ASSERT_TRUE(Reaches(api_, 7, TELVARN_JOB_FINISHED));
  ASSERT_TRUE(AllJobsEnd(api_, 50));
  EXPECT_LT(Free().count(), 1500);
  EXPECT_FALSE(Loaded());
  EXPECT_EQ(ReadFile(out), "CBF43926");
}

TEST_F(Unload, DuringARunningJobTheJobFinishesAndThenTheModuleGoes) {
  HeldInput held;
  const std::string out = dir_.path("out.txt");
  LaunchFileJob(1, held.name(), out);
  ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
  EXPECT_LT(Free().count(), 1500);
  EXPECT_TRUE(Loaded()) << "the running job keeps the module mapped";
  held.Release("123456789");
  EXPECT_TRUE(AwaitUnloaded());
  EXPECT_EQ(ReadFile(out), "CBF43926");
}

TEST_F(Unload, WithQueuedJobsEveryJobStillRuns) {
  HeldInput first, second;
  const std::string in = dir_.path("in.bin");
  WriteFile(in, "123456789");
  const std::string out1 = dir_.path("1.txt"), out2 = dir_.path("2.txt"), out3 = dir_.path("3.txt");
  LaunchFileJob(1, first.name(), out1);
  LaunchFileJob(2, second.name(), out2);
  ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
  ASSERT_TRUE(Reaches(api_, 2, TELVARN_JOB_RUNNING));
  LaunchFileJob(3, in, out3, 6);
  ASSERT_EQ(JobState(api_, 3), TELVARN_JOB_LAUNCHED);
  EXPECT_LT(Free().count(), 1500);
  EXPECT_TRUE(Loaded());
  first.Release("first");
  second.Release("second");
  EXPECT_TRUE(AwaitUnloaded());
  EXPECT_EQ(ReadFile(out3), "CBF43926");
  EXPECT_EQ(ReadFile(out1).size(), 8u);
  EXPECT_EQ(ReadFile(out2).size(), 8u);
}

TEST_F(Unload, ASuspendedJobHoldsTheModuleUntilAReloadedHostResumesIt) {
  HeldInput held;
  const std::string out = dir_.path("out.txt");
  LaunchFileJob(1, held.name(), out);
  ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
  ASSERT_EQ(api_.suspend(1, TELVARN_SUSPEND, 0, 0), 0);
  held.Release("123456789");
  EXPECT_LT(Free().count(), 1500);
  // Nothing shows the moment at which the module would go if the suspended job
  // did not hold it: it must stay throughout a margin far longer than the job's
  // end and the module's unloading take on a loaded machine.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (Loaded() && std::chrono::steady_clock::now() < until) Sleep(10);
  EXPECT_TRUE(Loaded());

  HMODULE again = LoadLibraryA(kModuleName);
  ASSERT_EQ(again, module_) << "the same module, with its IOs";
  Api api{};
  std::string error;
  ASSERT_TRUE(BindModuleExports(again, api, error)) << error;
  EXPECT_EQ(JobState(api, 1), TELVARN_JOB_SUSPENDED);
  EXPECT_EQ(api.suspend(1, TELVARN_RESUME, 0, 0), TELVARN_RESUMED);
  EXPECT_TRUE(Reaches(api, 1, TELVARN_JOB_FINISHED));
  EXPECT_EQ(ReadFile(out), "CBF43926");
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_TRUE(AwaitUnloaded());
}

TEST_F(Unload, AReloadedModuleStartsAfresh) {
  const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
  WriteFile(in, "123456789");
  LaunchFileJob(9, in, out);
  ASSERT_TRUE(Reaches(api_, 9, TELVARN_JOB_FINISHED));
  Free();
  ASSERT_TRUE(AwaitUnloaded());

  Load();
  EXPECT_EQ(api_.wait_all(0, 0, 0, 0), TELVARN_ALL_BUSY) << "no scheduler before the first launch";
  EXPECT_EQ(api_.key_set("key", 9, 0, 0), -1) << "IO 9 is not registered any more";
  EXPECT_EQ(api_.state(9, 0, 0, 0), 0) << "absent IO";
  Free();
  EXPECT_TRUE(AwaitUnloaded());
}

// Load/unload cycles of a host that lets go of the module in each of the ways
// below: in every cycle every result arrives and the module goes, and over the
// cycles the process gains no more handles, and keeps no more threads, than
// cycles of a trivial DLL of the same toolchain leave.
class UnloadCycles;
struct CycleScenario {
  const char* name;
  // Begins with the module loaded and ends having let go of it.
  void (UnloadCycles::*run)();
};
void PrintTo(const CycleScenario& scenario, std::ostream* out) { *out << scenario.name; }

class UnloadCycles : public Unload, public ::testing::WithParamInterface<CycleScenario> {
 public:
  static constexpr int kCycles = 40;

  void Cycle(int cycle) {
    cycle_ = cycle;
    deliveries_.clear();
    Load();
    if (HasFatalFailure()) return;
    (this->*GetParam().run)();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(AwaitUnloaded()) << "cycle " << cycle;
    for (const Delivery& d : deliveries_) {
      ASSERT_EQ(std::string(d.output, 8), ReferenceCrc32(d.input)) << "cycle " << cycle << ": " << d.input;
      ASSERT_EQ(d.output[8], kSentinel);
    }
  }

  void NothingRun() {
    const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
    WriteFile(in, "0123456789");
    for (int32_t io = 0; io < 3; ++io) ASSERT_EQ(api_.initialize(io, 0, 0, 0), 0);
    ASSERT_EQ(api_.input_set(Var(in.c_str()), 1, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(api_.output_set(Var(out.c_str()), 1, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(api_.key_set("key", 2, 0, 0), 0);
    LetGoOfModule();
    EXPECT_FALSE(IsFileOpenHere(in));
    EXPECT_FALSE(IsFileOpenHere(out));
  }
  void IdleScheduler() {
    LaunchMemoryJob(1, 3);
    ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_FINISHED));
    ASSERT_TRUE(AllJobsEnd(api_, 50));
    LetGoOfModule();
  }
  void JobsQueued() {
    HeldInput first, second;
    LaunchHeldJob(1, first, "first");
    LaunchHeldJob(2, second, "second");
    ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
    ASSERT_TRUE(Reaches(api_, 2, TELVARN_JOB_RUNNING));
    LaunchMemoryJob(3, 6);
    ASSERT_EQ(JobState(api_, 3), TELVARN_JOB_LAUNCHED);
    LetGoOfModule();
    first.Release("first");
    second.Release("second");
  }
  void JobsRunning() {
    HeldInput held;
    LaunchHeldJob(1, held, "running");
    ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
    LetGoOfModule();
    held.Release("running");
  }
  void SuspendedThenResumedAfterAReload() {
    HeldInput held;
    LaunchHeldJob(1, held, "suspended");
    ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_RUNNING));
    ASSERT_EQ(api_.suspend(1, TELVARN_SUSPEND, 0, 0), 0);
    held.Release("suspended");
    LetGoOfModule();
    ASSERT_TRUE(Loaded()) << "the suspended job holds the module";
    const HMODULE first = module_;
    Load();
    ASSERT_EQ(module_, first);
    ASSERT_EQ(api_.suspend(1, TELVARN_RESUME, 0, 0), TELVARN_RESUMED);
    ASSERT_TRUE(Reaches(api_, 1, TELVARN_JOB_FINISHED));
    LetGoOfModule();
  }
  void FortyJobsAtOnce() {
    // Most at priority 1, admitted together at the next pass; four ordinary ones.
    for (int32_t io = 0; io < 40; ++io) LaunchMemoryJob(io, io % 10 == 9 ? 2 + io / 10 : 1);
    LetGoOfModule();
  }

 protected:
  void SetUp() override {
    if (Loaded()) GTEST_SKIP() << "module loaded by another test";
  }

 private:
  // A job's input text and its memory output, which has a sentinel after the 8
  // characters of a CRC-32. The deque keeps both in place while the job runs.
  struct Delivery {
    std::string input;
    char output[9];
  };

  // Launches a CRC-32 job on the IO, its input bound, into memory.
  void Launch(int32_t io, int32_t priority, Delivery& d) {
    std::memset(d.output, kSentinel, sizeof d.output);
    ASSERT_EQ(api_.output_set(Var(d.output), io, TELVARN_MODE_MEMORY, 8), 0);
    ASSERT_EQ(api_.crc32(io, TELVARN_QUEUE, priority, 0), 0);
  }
  void LaunchMemoryJob(int32_t io, int32_t priority) {
    Delivery& d = deliveries_.emplace_back();
    d.input = "IO " + std::to_string(io) + " in cycle " + std::to_string(cycle_);
    ASSERT_EQ(api_.initialize(io, 0, 0, 0), 0);
    ASSERT_EQ(api_.input_set(Var(d.input.c_str()), io, TELVARN_MODE_MEMORY, 0), 0);
    Launch(io, priority, d);
  }
  // A job that reads the pipe until the test releases `bytes` into it.
  void LaunchHeldJob(int32_t io, const HeldInput& held, const std::string& bytes) {
    Delivery& d = deliveries_.emplace_back();
    d.input = bytes;
    ASSERT_EQ(api_.initialize(io, 0, 0, 0), 0);
    ASSERT_EQ(api_.input_set(Var(held.name().c_str()), io, TELVARN_MODE_FILE, 0), 0);
    Launch(io, 3, d);
  }
  void LetGoOfModule() { ASSERT_TRUE(FreeLibrary(module_)); }

  std::deque<Delivery> deliveries_;
  int cycle_ = 0;
};

const CycleScenario kCycleScenarios[] = {
    {"NothingRun", &UnloadCycles::NothingRun},
    {"IdleScheduler", &UnloadCycles::IdleScheduler},
    {"JobsQueued", &UnloadCycles::JobsQueued},
    {"JobsRunning", &UnloadCycles::JobsRunning},
    {"SuspendedThenResumedAfterAReload", &UnloadCycles::SuspendedThenResumedAfterAReload},
    {"FortyJobsAtOnce", &UnloadCycles::FortyJobsAtOnce},
};

TEST_P(UnloadCycles, LeaveNoMoreHandlesBehindThanATrivialDll) {
  const Footprint trivial = CycleGrowth(&TrivialModuleCycle, kCycles);
  if (HasFatalFailure()) return;
  const Footprint module = CycleGrowth([this](int cycle) { Cycle(cycle); }, kCycles);
  if (HasFatalFailure()) return;
  std::printf("%s, per cycle over %d: handles %+.2f (trivial DLL %+.2f), threads left %+lld\n"
              "  handle types: %s (trivial DLL %s)\n",
              GetParam().name, kCycles, static_cast<double>(module.handles) / kCycles,
              static_cast<double>(trivial.handles) / kCycles, static_cast<long long>(module.threads),
              DescribeHandleTypes(module).c_str(), DescribeHandleTypes(trivial).c_str());
  EXPECT_LE(module.handles, trivial.handles) << DescribeHandleTypes(module);
  EXPECT_LE(module.threads, 0) << "no thread outlives the module";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UnloadCycles, ::testing::ValuesIn(kCycleScenarios),
                         [](const ::testing::TestParamInfo<CycleScenario>& scenario) {
                           return scenario.param.name;
                         });

}  // namespace
}  // namespace telvarn::test
