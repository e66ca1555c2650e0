// A host that touches an IO whose job is queued, running or suspended: every call
// refuses or cancels at once, nothing blocks, and no result goes astray. The same
// suite runs against the linked core and, on Windows, against the module.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job_fixture.h"
#include "jobs/job_kinds.h"

namespace telvarn::test {
namespace {

// The states of a live IO's job.
constexpr int32_t kLivePhases[] = {TELVARN_JOB_LAUNCHED, TELVARN_JOB_RUNNING, TELVARN_JOB_SUSPENDED};

const char* PhaseName(int32_t phase) {
  return phase == TELVARN_JOB_LAUNCHED ? "queued"
         : phase == TELVARN_JOB_RUNNING ? "running"
                                        : "suspended";
}

class LiveIoTest : public JobTest {
 protected:
  // Polls IO_Progress (each call pauses 10 ms) until the IO's job has digested
  // `bytes` bytes of its input.
  ::testing::AssertionResult DigestsBytes(int32_t io, uint32_t bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
    TelvarnProgressCounts counts{};
    do {
      api.progress(io, Var(&counts), 0, 0);
      if (counts.consumed_low == bytes && counts.consumed_high == 0) return ::testing::AssertionSuccess();
    } while (std::chrono::steady_clock::now() < deadline);
    return ::testing::AssertionFailure() << "IO " << io << " digested " << counts.consumed_low << " bytes, not "
                                         << bytes;
  }
  // A held job (CRC-32 unless `run` names another export) in the state `phase`,
  // its result going to memory or to the file `output_file`; a queued one waits
  // behind two held blockers. With `inside_read`, a running or suspended job has
  // taken one byte of its input and waits inside its read for the rest, past its
  // first chunk boundary.
  HeldJob Live(int32_t phase, const std::string& output_file = "", bool inside_read = false,
               JobExport run = nullptr) {
    if (phase == TELVARN_JOB_LAUNCHED) {
      blockers_.push_back(LaunchHeld(3));
      blockers_.push_back(LaunchHeld(3));
      for (HeldJob& blocker : blockers_) EXPECT_TRUE(Reaches(api, blocker.io, TELVARN_JOB_RUNNING));
    }
    HeldJob job = LaunchHeld(3, output_file,
                             inside_read ? HeldInput::Reads::kObserved : HeldInput::Reads::kUnobserved, run);
    if (phase == TELVARN_JOB_LAUNCHED) {
      EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_LAUNCHED);
    } else {
      EXPECT_TRUE(Reaches(api, job.io, TELVARN_JOB_RUNNING));
      if (inside_read) {
        EXPECT_TRUE(job.input->FeedOneByte(20000));
      }
    }
    if (phase == TELVARN_JOB_SUSPENDED) {
      EXPECT_EQ(api.suspend(job.io, TELVARN_SUSPEND, 0, 0), 0);
      EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_SUSPENDED);
    }
    return job;
  }
  void FinishBlockers() {
    for (HeldJob& blocker : blockers_) Finish(blocker);
    blockers_.clear();
  }

  std::vector<HeldJob> blockers_;
};

// Job exports, bindings and keys on a live IO return -1 and change nothing: no
// file is opened, created or emptied, no key is written, and the job there goes on
// to deliver its own result.
TEST_F(LiveIoTest, EveryChangeToALiveIoIsRefusedAndTheJobGoesOn) {
  for (int32_t phase : kLivePhases) {
    SCOPED_TRACE(PhaseName(phase));
    HeldJob job = Live(phase);
    const std::string existing = dir_.path("existing.txt"), created = dir_.path("created.txt");
    WriteFile(existing, "keep me");
    for (const JobUnderTest& other : EveryJob(api)) {
      EXPECT_EQ(other.run(job.io, TELVARN_QUEUE, 1, 0), -1) << other.name;
      EXPECT_EQ(other.run(job.io, TELVARN_RUN_NOW, 3, 0), -1) << other.name << ": refused at once";
    }
    EXPECT_EQ(api.output_set(Var(existing.c_str()), job.io, TELVARN_MODE_FILE, 0), -1);
    EXPECT_EQ(ReadFile(existing), "keep me") << "not emptied";
    EXPECT_EQ(api.output_set(Var(created.c_str()), job.io, TELVARN_MODE_FILE, 0), -1);
    EXPECT_FALSE(std::filesystem::exists(created)) << "not created";
    EXPECT_EQ(api.input_set(Var(existing.c_str()), job.io, TELVARN_MODE_FILE, 0), -1);
    EXPECT_FALSE(IsFileOpenHere(existing));
    char other[16] = "elsewhere";
    EXPECT_EQ(api.input_set(Var(other), job.io, TELVARN_MODE_MEMORY, 0), -1);
    EXPECT_EQ(api.output_set(Var(other), job.io, TELVARN_MODE_MEMORY, 0), -1);
    EXPECT_EQ(api.key_set("key", job.io, 0, 0), -1);
    char rsa[] = "&QUJD";
    EXPECT_EQ(api.rsa_key_set(Var(rsa), job.io, 0, 0), -1);
    // Progress only reads: a held pipe, of unknown length, with nothing consumed.
    uint32_t counts[4] = {1, 1, 1, 1};
    EXPECT_EQ(api.progress(job.io, Var(counts), 0, 0), 0);
    EXPECT_EQ(counts[0], 0u);
    EXPECT_EQ(counts[2], 0xFFFFFFFFu);
    EXPECT_EQ(JobState(api, job.io), phase);

    if (phase == TELVARN_JOB_SUSPENDED) {
      EXPECT_EQ(api.suspend(job.io, TELVARN_RESUME, 0, 0), TELVARN_RESUMED);
    }
    FinishBlockers();
    Finish(job, "refused");
    EXPECT_STREQ(other, "elsewhere");
  }
}

// A keyed job took its key at launch: a refused key change cannot reach it, and
// the key stays the IO's for the next job. Every keyed job, queued and running.
// A stream is read as it comes, up to 64 KiB a read, and cut into chunks: whatever
// the sizes of its reads, every job's result equals that of the same bytes from
// memory, also at each size around a chunk (1 KiB, 4 KiB) and a read (64 KiB).
// BLAKE3 gathers spans of a megabyte from many reads and shares them among its
// helper threads, from a pipe too.
TEST_F(LiveIoTest, APipesBytesGiveTheResultOfTheSameBytesFromMemory) {
  std::mt19937 rng(64);
  for (const size_t size : {size_t{0}, size_t{1023}, size_t{4097}, size_t{65535}, size_t{65537}, size_t{200003},
                            (size_t{3} << 20) + 517}) {
    const std::string bytes = RandomString(rng, size);
    for (const JobUnderTest& job : EveryJob(api)) {
      if (size > 200003 && std::string(job.name).find("BLAKE3") == std::string::npos) continue;
      SCOPED_TRACE(std::string(job.name) + ", " + std::to_string(size) + " bytes");
      const int32_t memory_io = NewIo();
      BindMemoryInput(memory_io, bytes);
      const char* expected = BindMemoryOutput(memory_io);
      ASSERT_EQ(job.run(memory_io, TELVARN_RUN_NOW, 1, 0), 0);

      HeldInput held;
      const int32_t pipe_io = NewIo();
      BindFileInput(pipe_io, held.name());
      const char* out = BindMemoryOutput(pipe_io);
      ASSERT_EQ(job.run(pipe_io, TELVARN_QUEUE, 1, 0), 0);
      held.Release(bytes);
      ASSERT_TRUE(Reaches(api, pipe_io, TELVARN_JOB_FINISHED));
      EXPECT_EQ(std::string(out, job.result_length), std::string(expected, job.result_length));
    }
  }
}

TEST_F(LiveIoTest, AKeyedJobKeepsTheKeyItWasLaunchedWith) {
  for (const JobUnderTest& job : KeyedJobs(api)) {
    SCOPED_TRACE(job.name);
    std::string key_area = "old key";
    key_area.resize(4096, '\0');
    const std::string expected = job.reference(key_area, "keyed message");

    const int32_t io = NewIo();
    ASSERT_EQ(api.key_set("old key", io, 0, 0), 0);
    HeldInput held;
    BindFileInput(io, held.name());
    char* out = BindMemoryOutput(io);
    ASSERT_EQ(job.run(io, TELVARN_QUEUE, 3, 0), 0);
    EXPECT_EQ(api.key_set("new key", io, 0, 0), -1) << "queued";
    ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_RUNNING));
    EXPECT_EQ(api.key_set("new key", io, 0, 0), -1) << "running";
    held.Release("keyed message");
    ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED));
    EXPECT_EQ(std::string(out, job.result_length), expected);
    EXPECT_EQ(out[job.result_length], kSentinel);
    EXPECT_EQ(RunNow(job.run, io, "keyed message"), expected) << "the key stays the IO's";
  }
}

// Re-initialising a live IO cancels its job and returns at once, even while the job
// is blocked reading a pipe (the pipe stays held until after the call, so a call
// that waited for the job's read would never return). The IO is idle and usable at
// once; the old job's read is stopped, and it writes nothing, closes its files and
// goes while its pipe is still silent. CRC-32 in every phase with either output,
// then each other job in one phase and output after another.
TEST_F(LiveIoTest, InitializeCancelsTheJobWithoutWaitingForIt) {
  struct Round {
    int32_t phase;
    bool file_output;
    JobUnderTest job;
  };
  std::vector<Round> rounds;
  const std::vector<JobUnderTest> jobs = EveryJob(api);
  for (int32_t phase : kLivePhases) {
    for (bool file_output : {false, true}) rounds.push_back({phase, file_output, jobs[0]});
  }
  for (size_t i = 1; i < jobs.size(); ++i) rounds.push_back({kLivePhases[i % 3], i % 2 == 0, jobs[i]});
  for (const Round& round : rounds) {
    SCOPED_TRACE(testing::Message() << round.job.name << ", " << PhaseName(round.phase)
                                    << (round.file_output ? ", file output" : ""));
    const std::string out = dir_.path("cancelled.txt");
    // Inside its read, the job can only go once that read has been stopped.
    HeldJob job = Live(round.phase, round.file_output ? out : "", true, round.job.run);
    ASSERT_EQ(api.key_set("kept", job.io, 0, 0), -1);

    EXPECT_EQ(api.initialize(job.io, 0, 0, 0), 0);
    EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_IDLE);
    EXPECT_EQ(api.wait(job.io, TELVARN_WAIT_INFINITE, 0, 0), TELVARN_WAIT_NOTHING) << "nothing left to wait on";
    EXPECT_EQ(api.suspend(job.io, TELVARN_RESUME, 0, 0), 0);
    EXPECT_EQ(api.progress(job.io, nullptr, 0, 0), 0) << "an idle IO";

    BindMemoryInput(job.io, "123456789");
    char* fresh = BindMemoryOutput(job.io);
    ASSERT_EQ(Crc32(job.io, TELVARN_RUN_NOW), 0) << "the IO is free for its next job";
    EXPECT_EQ(std::string(fresh, 8), "CBF43926");
    EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_FINISHED);

    if (round.phase != TELVARN_JOB_LAUNCHED) {
      EXPECT_TRUE(AllJobsEnd(api, 100)) << "the cancelled job is still blocked in its read";
    }
    job.input->Release("never digested");
    FinishBlockers();
    ASSERT_TRUE(AllJobsEnd(api, 100));
    if (round.file_output) {
      EXPECT_EQ(ReadFile(out), "") << "a cancelled job writes no result";
      EXPECT_FALSE(IsFileOpenHere(out));
    } else {
      EXPECT_EQ(job.output[0], kSentinel) << "a cancelled job writes no result";
    }
    EXPECT_EQ(JobState(api, job.io), TELVARN_JOB_FINISHED) << "the old job never touches the IO again";
  }
}

// A job that has committed its result and is blocked writing it into a pipe whose
// reader reads nothing: re-initialising the IO returns at once, the job goes, and
// nothing of its result ever reaches the pipe.
TEST_F(LiveIoTest, ACancelledWriteIntoAHeldPipeNeverLands) {
  HeldOutput pipe;
  const int32_t io = NewIo();
  BindMemoryInput(io, "abc");
  BindFileOutput(io, pipe.name());
  g_any_launch = true;
  ASSERT_EQ(api.sha256(io, TELVARN_QUEUE, 1, 0), 0);
  ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_RUNNING));
  // Once the job has digested its whole input it only finishes the digest and
  // writes: the module shows no later moment, and the outcome must be the same
  // whether the cancel finds it before or inside its write.
  ASSERT_TRUE(DigestsBytes(io, 3));
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(api.initialize(io, 0, 0, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5)) << "the cancel waited for the reader";
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_IDLE);
  EXPECT_TRUE(AllJobsEnd(api, 100)) << "the cancelled job is still blocked in its write";
  const std::string drained = pipe.Drain(kGenerousMs);
  EXPECT_EQ(drained.size(), pipe.filler().size()) << "after the filler: " << drained.substr(pipe.filler().size());
}

// Re-initialisations aimed at the moment a job delivers its result to a file, from
// a second host thread: each finds the file either with the whole result or empty,
// and it stays so once the job has gone. The aim moves towards the delivery: later
// after a cancel that came first, earlier after a result that came first.
TEST_F(LiveIoTest, CancelsAimedAtTheDeliveryLeaveNoLateWrite) {
  const char* configured = std::getenv("TELVARN_STRESS_ROUNDS");
  const int rounds = configured != nullptr ? std::atoi(configured) : 1000;
  const int32_t io = NewIo();
  std::atomic<int> start{0};
  std::atomic<int> done{0};
  std::thread launcher([&] {
    for (int round = 1; round <= rounds; ++round) {
      while (start.load() != round) std::this_thread::yield();
      api.sha256(io, TELVARN_RUN_NOW, 0, 0);
      done.store(round);
    }
  });
  using Clock = std::chrono::steady_clock;
  // A job's own time, delivery included, sets the steps of the aim.
  const auto timed = Clock::now();
  for (int i = 0; i < 20; ++i) RunNow(api.sha256, NewIo(), "abc");
  const auto job_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - timed).count() / 20;
  // The steps grow with the aim, which also covers the launcher thread's own delay.
  const int64_t least_step_ns = std::max<int64_t>(job_ns / 40, 50);
  int64_t aim_ns = job_ns / 2;
  int delivered = 0, cancelled = 0, late = 0;
  for (int round = 1; round <= rounds; ++round) {
    const std::string out = dir_.path("aimed.txt");
    BindMemoryInput(io, "abc");
    BindFileOutput(io, out);
    const auto launch = Clock::now();
    start.store(round);
    while (Clock::now() - launch < std::chrono::nanoseconds(aim_ns)) {
    }
    api.initialize(io, 0, 0, 0);
    const auto at_return = std::filesystem::file_size(out);
    while (done.load() != round) std::this_thread::yield();
    const auto at_end = std::filesystem::file_size(out);
    if (at_end != at_return) {
      ++late;
      ADD_FAILURE() << "round " << round << ": " << at_return << " bytes when the cancel returned, " << at_end
                    << " once the job had gone";
    } else if (at_return == 64) {
      ++delivered;
      aim_ns = std::max<int64_t>(aim_ns - std::max(least_step_ns, aim_ns / 16), 0);
    } else {
      EXPECT_EQ(at_return, 0u);
      ++cancelled;
      aim_ns += std::max(least_step_ns, aim_ns / 16);
    }
    std::filesystem::remove(out);
  }
  launcher.join();
  std::printf("%d rounds (job %lld ns): %d delivered before the cancel, %d cancelled, %d late writes\n", rounds,
              static_cast<long long>(job_ns), delivered, cancelled, late);
  EXPECT_EQ(late, 0);
  EXPECT_GT(delivered, 0) << "the aim never reached the delivery";
  EXPECT_GT(cancelled, 0) << "the aim never preceded the delivery";
}

// Jobs blocked reading pipes that nobody writes, cancelled: they give up their
// places at once, so that ordinary and immediate jobs launched next start, although
// the pipes stay open and silent.
TEST_F(LiveIoTest, CancelledJobsBlockedOnPipesGiveUpTheirPlaces) {
  std::vector<HeldJob> held;
  for (int i = 0; i < 2; ++i) held.push_back(LaunchHeld(3));
  for (HeldJob& job : held) ASSERT_TRUE(Reaches(api, job.io, TELVARN_JOB_RUNNING));
  for (int i = 0; i < 64; ++i) held.push_back(LaunchHeld(1));
  for (size_t i = 0; i < 64; ++i) ASSERT_TRUE(Reaches(api, held[i].io, TELVARN_JOB_RUNNING)) << "job " << i;
  EXPECT_EQ(JobState(api, held[64].io), TELVARN_JOB_LAUNCHED) << "64 jobs run at most";
  for (HeldJob& job : held) ASSERT_EQ(api.initialize(job.io, 0, 0, 0), 0);

  const int32_t ordinary = NewIo();
  const int32_t immediate = NewIo();
  BindMemoryInput(ordinary, "123456789");
  char* ordinary_out = BindMemoryOutput(ordinary);
  BindMemoryInput(immediate, "123456789");
  char* immediate_out = BindMemoryOutput(immediate);
  ASSERT_EQ(Crc32(ordinary, TELVARN_QUEUE, 3), 0);
  ASSERT_EQ(Crc32(immediate, TELVARN_QUEUE, 1), 0);
  EXPECT_TRUE(Reaches(api, immediate, TELVARN_JOB_FINISHED));
  EXPECT_TRUE(Reaches(api, ordinary, TELVARN_JOB_FINISHED));
  EXPECT_EQ(std::string(immediate_out, 8), "CBF43926");
  EXPECT_EQ(std::string(ordinary_out, 8), "CBF43926");
  EXPECT_TRUE(AllJobsEnd(api, 100)) << "a cancelled job is still blocked in its read";
  for (HeldJob& job : held) EXPECT_EQ(job.output[0], kSentinel);
}

// The host may reuse a memory input as soon as re-initialisation returns: the
// cancelled job, suspended or in the middle of its input, reads no more of it
// (under the sanitizers a later read of the freed input would be reported).
TEST_F(LiveIoTest, ACancelledJobLetsGoOfItsMemoryInputAtOnce) {
  // The slowest jobs, plain and keyed, so that the cancel finds them in their input.
  const JobExport slow_jobs[] = {api.sha512, api.sha512_key, api.sha256_key, api.sha1_key, api.md5_key};
  for (int round = 0; round < 10; ++round) {
    const bool suspend = round % 2 == 0;
    const int32_t io = NewIo();
    auto input = std::make_unique<std::string>(64 << 20, 'x');
    ASSERT_EQ(api.input_set(Var(input->data()), io, TELVARN_MODE_MEMORY, static_cast<int32_t>(input->size())), 0);
    char* out = BindMemoryOutput(io);
    ASSERT_EQ(slow_jobs[static_cast<size_t>(round / 2) % std::size(slow_jobs)](io, TELVARN_QUEUE, 1, 0), 0);
    ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_RUNNING));
    if (suspend) api.suspend(io, TELVARN_SUSPEND, 0, 0);
    const bool held = JobState(api, io) == TELVARN_JOB_SUSPENDED;
    ASSERT_EQ(api.initialize(io, 0, 0, 0), 0);
    input.reset();
    ASSERT_TRUE(AllJobsEnd(api, 100));
    if (held) {
      EXPECT_EQ(out[0], kSentinel);
    }
  }
}

// A suspension that arrives just after IO_Wait saw the job end finds it finished:
// it is never marked suspended, and the IO's next job runs and delivers normally.
// Each round's job ends while its own host thread waits on it, and that thread
// suspends the job the moment the wait returns; the rounds run side by side, with
// threads that keep the processors busy, so that the ends fall at varied moments.
TEST_F(LiveIoTest, SuspendRightAfterTheEndLeavesTheJobFinished) {
  constexpr size_t kRounds = 20;
  std::atomic<bool> busy{true};
  std::vector<std::thread> load;
  for (int i = 0; i < 3; ++i) {
    load.emplace_back([&busy] {
      volatile uint64_t spin = 0;
      while (busy) spin = spin + 1;
    });
  }
  struct Round {
    int32_t io;
    HeldInput held;
    std::string first;
    char* out;
    int32_t waited;
    int32_t suspended;
  };
  std::mt19937 rng(31);
  std::vector<std::unique_ptr<Round>> rounds;
  for (size_t i = 0; i < kRounds; ++i) {
    rounds.push_back(std::make_unique<Round>());
    Round& round = *rounds.back();
    round.io = NewIo();
    round.first = RandomString(rng, 1 + rng() % 5000);
    BindFileInput(round.io, round.held.name());
    round.out = BindMemoryOutput(round.io);
    ASSERT_EQ(Crc32(round.io, TELVARN_QUEUE, 1), 0);
  }
  std::atomic<size_t> calling{0};
  std::vector<std::thread> waiters;
  for (const std::unique_ptr<Round>& round : rounds) {
    waiters.emplace_back([&, r = round.get()] {
      ++calling;
      r->waited = api.wait(r->io, TELVARN_WAIT_INFINITE, 0, 0);
      r->suspended = api.suspend(r->io, TELVARN_SUSPEND, 0, 0);
    });
  }
  while (calling < kRounds) std::this_thread::yield();
  // The module shows no moment at which a wait has begun (see kWaitBeganMargin).
  std::this_thread::sleep_for(kWaitBeganMargin);
  for (const std::unique_ptr<Round>& round : rounds) round->held.Release(round->first);
  for (std::thread& waiter : waiters) waiter.join();
  busy = false;
  for (std::thread& t : load) t.join();

  for (size_t i = 0; i < kRounds; ++i) {
    Round& round = *rounds[i];
    SCOPED_TRACE(testing::Message() << "round " << i);
    EXPECT_EQ(round.waited, TELVARN_WAIT_ENDED) << "the wait sees the end itself";
    EXPECT_EQ(round.suspended, 0);
    EXPECT_EQ(JobState(api, round.io), TELVARN_JOB_FINISHED);
    EXPECT_EQ(std::string(round.out, 8), ReferenceCrc32(round.first));

    const std::string second = RandomString(rng, 1 + rng() % 5000);
    BindMemoryInput(round.io, second);
    char* next = BindMemoryOutput(round.io);
    ASSERT_EQ(api.crc16(round.io, TELVARN_RUN_NOW, 3, 0), 0);
    EXPECT_EQ(std::string(next, 4), ReferenceCrc16(second));
    EXPECT_EQ(JobState(api, round.io), TELVARN_JOB_FINISHED);
  }
  EXPECT_TRUE(AllJobsEnd(api, 100));
}

// Two host threads each launch, rebind and re-initialise their own IOs while both
// suspend, resume, poll and wait on any IO. Every result delivered is the right one
// for the input its job was launched with; only a job whose IO was re-initialised
// while it may have lived may deliver nothing.
TEST_F(LiveIoTest, RandomInterleavingsDeliverOnlyRightResults) {
  constexpr int kThreads = 2;
  constexpr int kIosPerThread = 4;
  constexpr int kOperations = 150;
  struct Launched {
    std::string input;
    std::string expected;
    std::unique_ptr<char[]> output;
    bool crc16 = false;
    bool maybe_cancelled = false;
  };
  struct Worker {
    std::vector<int32_t> ios;
    std::vector<Launched*> last;  // per IO: its last launched job
    std::deque<Launched> launched;
  };
  std::vector<Worker> workers(kThreads);
  std::vector<int32_t> all_ios;
  for (Worker& w : workers) {
    for (int i = 0; i < kIosPerThread; ++i) {
      w.ios.push_back(NewIo());
      all_ios.push_back(w.ios.back());
      w.last.push_back(nullptr);
    }
  }
  g_any_launch = true;
  auto run = [&](int index) {
    Worker& w = workers[index];
    std::mt19937 rng(1000 + index);
    VarDesc var{};
    for (int op = 0; op < kOperations; ++op) {
      const size_t which = rng() % w.ios.size();
      const int32_t io = w.ios[which];
      const int32_t any_io = all_ios[rng() % all_ios.size()];
      switch (rng() % 10) {
        case 0:
        case 1:
        case 2: {
          Launched job;
          job.input = RandomString(rng, rng() % 20000);
          job.crc16 = rng() % 2 == 0;
          job.expected = job.crc16 ? ReferenceCrc16(job.input) : ReferenceCrc32(job.input);
          job.output = std::make_unique<char[]>(17);
          std::memset(job.output.get(), kSentinel, 16);
          job.output[16] = '\0';  // the binding measures up to the NUL
          w.launched.push_back(std::move(job));
          Launched& l = w.launched.back();
          var = HostVar(l.input.data());
          if (api.input_set(&var, io, TELVARN_MODE_MEMORY, static_cast<int32_t>(l.input.size())) != 0) break;
          var = HostVar(l.output.get());
          if (api.output_set(&var, io, TELVARN_MODE_MEMORY, 0) != 0) break;
          const bool async = rng() % 4 != 0;
          const int32_t priority = static_cast<int32_t>(rng() % 8);
          if ((l.crc16 ? api.crc16 : api.crc32)(io, async ? TELVARN_QUEUE : TELVARN_RUN_NOW, priority, 0) == 0) {
            w.last[which] = &l;
          }
          break;
        }
        case 3:
          api.suspend(any_io, TELVARN_SUSPEND, 0, 0);
          break;
        case 4:
        case 5:
          api.suspend(any_io, TELVARN_RESUME, 0, 0);
          break;
        case 6:
          api.initialize(io, 0, 0, 0);
          if (w.last[which] != nullptr) w.last[which]->maybe_cancelled = true;
          break;
        case 7:
          if (rng() % 2 == 0) {
            api.state(any_io, 0, 0, 0);
          } else {
            uint32_t counts[4];
            var = HostVar(counts);
            const int32_t progress = api.progress(any_io, &var, 0, 0);
            EXPECT_TRUE(progress <= 0 && progress >= TELVARN_PROGRESS_FINISHED) << progress;
          }
          break;
        case 8:
          if (rng() % 4 == 0) api.wait(any_io, rng() % 3 == 0 ? 0 : 30, 0, 0);
          break;
        default:
          if (rng() % 8 == 0) api.wait_all(0, 0, 0, 0);
          break;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(run, i);
  for (std::thread& t : threads) t.join();

  // Release whatever is still held, then let everything end.
  bool idle = false;
  for (int i = 0; i < 100 && !idle; ++i) {
    for (int32_t io : all_ios) api.suspend(io, TELVARN_RESUME, 0, 0);
    idle = api.wait_all(0, 0, 0, 0) == TELVARN_ALL_IDLE;
  }
  ASSERT_TRUE(idle);
  int delivered = 0;
  for (Worker& w : workers) {
    for (Launched& l : w.launched) {
      const size_t n = l.expected.size();
      const std::string got(l.output.get(), n);
      if (got == std::string(n, kSentinel)) {
        continue;
      }
      ++delivered;
      EXPECT_EQ(got, l.expected);
      EXPECT_EQ(l.output[n], kSentinel) << "exactly the result's characters";
    }
    for (size_t i = 0; i < w.ios.size(); ++i) {
      Launched* last = w.last[i];
      if (last == nullptr || last->maybe_cancelled) continue;
      EXPECT_EQ(std::string(last->output.get(), last->expected.size()), last->expected)
          << "the last job of IO " << w.ios[i] << " was never cancelled";
    }
  }
  EXPECT_GT(delivered, 0);
}

// A file input that fails to read (an error, not its end) delivers no result: the
// memory output stays untouched, an output file stays empty, and the job still
// ends finished. A directory opens for reading here but fails to read.
#if !defined(_WIN32)
TEST_F(LiveIoTest, AReadErrorDeliversNoResult) {
  const std::string folder = dir_.path("folder");
  std::filesystem::create_directory(folder);
  const int32_t io = NewIo();
  if (api.input_set(Var(folder.c_str()), io, TELVARN_MODE_FILE, 0) != 0) GTEST_SKIP() << "a folder does not open";
  char* out = BindMemoryOutput(io);
  ASSERT_EQ(api.sha256(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_EQ(JobState(api, io), TELVARN_JOB_FINISHED);
  EXPECT_EQ(out[0], kSentinel);

  const std::string text = dir_.path("result.txt");
  BindFileInput(io, folder);
  BindFileOutput(io, text);
  ASSERT_EQ(Crc32(io, TELVARN_QUEUE), 0);
  ASSERT_TRUE(Reaches(api, io, TELVARN_JOB_FINISHED));
  EXPECT_EQ(ReadFile(text), "");
  EXPECT_FALSE(IsFileOpenHere(text));
}
#endif

}  // namespace
}  // namespace telvarn::test
