// One typed suite over every platform backend this build has: threads, locks, condition variables, interruptible IO.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace telvarn::platform {
namespace {

constexpr uint32_t kGenerousMs = 20000;

template <class OsT>
class PlatformTest : public ::testing::Test {};

using Backends = ::testing::Types<StdCppOs
#if defined(_WIN32)
                                  ,
                                  Win32Os
#endif
                                  >;

struct BackendName {
  template <class OsT>
  static std::string GetName(int) {
    return OsT::kName;
  }
};
TYPED_TEST_SUITE(PlatformTest, Backends, BackendName);

// A gate on the backend's own lock and condition variable.
template <class OsT>
struct Gate {
  typename OsT::Mutex mutex;
  typename OsT::ConditionVariable cv;
  bool open = false;

  void Open() {
    ScopedLock<typename OsT::Mutex> hold(mutex);
    open = true;
    cv.notify_all();
  }
  bool Pass(uint32_t timeout_ms) {
    ScopedLock<typename OsT::Mutex> hold(mutex);
    return WaitUntil<OsT>(cv, mutex, timeout_ms, [this] { return open; });
  }
};

// A thread that records that it ran and then holds until its gate opens.
template <class OsT>
struct HeldThread {
  Gate<OsT> gate;
  Gate<OsT> done;
  std::atomic<bool> ran{false};
  ThreadHandle handle = nullptr;

  static uint32_t TELVARN_CALL Run(void* arg) {
    auto* self = static_cast<HeldThread*>(arg);
    self->ran = true;
    self->gate.Pass(kInfinite);
    self->done.Open();
    return 0;
  }

  void Start(uint32_t* thread_id = nullptr) {
    handle = OsT::create_thread(&Run, this, thread_id);
    ASSERT_NE(handle, nullptr);
  }
  void Finish() {
    gate.Open();
    EXPECT_EQ(OsT::wait_thread(handle, kGenerousMs), WaitOutcome::kEnded);
    OsT::close_thread(handle);
    handle = nullptr;
  }
};

// Threads that count together under one lock.
template <class OsT>
struct CountingThread {
  static constexpr int kRounds = 20000;
  struct Shared {
    typename OsT::Mutex lock;
    long counter = 0;
  };
  static uint32_t TELVARN_CALL Run(void* arg) {
    auto* shared = static_cast<Shared*>(arg);
    for (int i = 0; i < kRounds; ++i) {
      ScopedLock<typename OsT::Mutex> hold(shared->lock);
      shared->counter = shared->counter + 1;
    }
    return 0;
  }
};

uint32_t TELVARN_CALL CountRun(void* arg) {
  static_cast<std::atomic<int>*>(arg)->fetch_add(1);
  return 0;
}

TYPED_TEST(PlatformTest, WaitReportsTimeOutThenEnd) {
  using OsT = TypeParam;
  HeldThread<OsT> thread;
  thread.Start();
  EXPECT_EQ(OsT::wait_thread(thread.handle, 0), WaitOutcome::kTimedOut);
  EXPECT_EQ(OsT::wait_thread(thread.handle, 30), WaitOutcome::kTimedOut);
  EXPECT_TRUE(OsT::lower_thread_priority(thread.handle));
  thread.Finish();
  EXPECT_TRUE(thread.ran);
}

TYPED_TEST(PlatformTest, ThreadRunsOnAfterItsHandleIsClosed) {
  using OsT = TypeParam;
  HeldThread<OsT> thread;
  thread.Start();
  OsT::close_thread(thread.handle);
  thread.gate.Open();
  EXPECT_TRUE(thread.done.Pass(kGenerousMs));
}

// Threads made in quick succession while others end, their handles closed
// before or after they end: each runs its routine once, with its own argument.
// (winpthreads' detached threads lost about one in a few thousand this way.)
TYPED_TEST(PlatformTest, EveryThreadOfAQuickSuccessionRunsItsRoutine) {
  using OsT = TypeParam;
  constexpr int kBatches = 250;
  constexpr int kPerBatch = 8;
  // Static, so that a thread running late after a failed check writes into
  // memory that is still there.
  static std::atomic<int> runs[kBatches * kPerBatch];
  for (std::atomic<int>& count : runs) count = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    std::vector<ThreadHandle> waited;
    for (int i = 0; i < kPerBatch; ++i) {
      ThreadHandle h = OsT::create_thread(&CountRun, &runs[batch * kPerBatch + i], nullptr);
      ASSERT_NE(h, nullptr);
      if (i % 2 == 0) {
        OsT::close_thread(h);
      } else {
        waited.push_back(h);
      }
    }
    for (ThreadHandle h : waited) {
      ASSERT_EQ(OsT::wait_thread(h, kGenerousMs), WaitOutcome::kEnded);
      OsT::close_thread(h);
    }
  }
  // The threads whose handles were closed first are waited for through their counts.
  const uint64_t deadline = OsT::monotonic_ms() + kGenerousMs;
  for (int i = 0; i < kBatches * kPerBatch; ++i) {
    while (runs[i].load() == 0 && OsT::monotonic_ms() < deadline) OsT::sleep_ms(1);
    ASSERT_EQ(runs[i].load(), 1) << "thread " << i;
  }
}

TYPED_TEST(PlatformTest, EmptyHandlesFail) {
  using OsT = TypeParam;
  EXPECT_EQ(OsT::wait_thread(nullptr, 0), WaitOutcome::kFailed);
  EXPECT_FALSE(OsT::lower_thread_priority(nullptr));
  OsT::close_thread(nullptr);
}

// The processors the process may run on: at least one, at most what the machine has.
TYPED_TEST(PlatformTest, UsableProcessorsAreThoseOfTheMachineAtMost) {
  using OsT = TypeParam;
  const uint32_t usable = OsT::usable_processors();
  EXPECT_GE(usable, 1u);
  if (std::thread::hardware_concurrency() > 0) {
    EXPECT_LE(usable, std::thread::hardware_concurrency());
  }
}

TYPED_TEST(PlatformTest, ThreadIdsAreDistinctAndNonZero) {
  using OsT = TypeParam;
  // Both threads are held while the ids are compared: Windows may give an ended
  // thread's id to the next one.
  HeldThread<OsT> a, b;
  uint32_t first = 0, second = 0;
  a.Start(&first);
  b.Start(&second);
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  a.Finish();
  b.Finish();
}

TYPED_TEST(PlatformTest, MutexExcludes) {
  using OsT = TypeParam;
  typename CountingThread<OsT>::Shared shared;
  constexpr int kThreads = 4;
  std::vector<ThreadHandle> handles;
  for (int i = 0; i < kThreads; ++i) {
    handles.push_back(OsT::create_thread(&CountingThread<OsT>::Run, &shared, nullptr));
  }
  for (ThreadHandle h : handles) {
    EXPECT_EQ(OsT::wait_thread(h, kGenerousMs), WaitOutcome::kEnded);
    OsT::close_thread(h);
  }
  EXPECT_EQ(shared.counter, long{kThreads} * CountingThread<OsT>::kRounds);
}

TYPED_TEST(PlatformTest, WaitUntilTimesOutThenSeesTheNotification) {
  using OsT = TypeParam;
  Gate<OsT> gate;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gate.Pass(0));
  EXPECT_FALSE(gate.Pass(40));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(35));

  HeldThread<OsT> thread;
  thread.Start();
  EXPECT_FALSE(thread.done.Pass(20)) << "held behind its gate";
  thread.gate.Open();
  EXPECT_TRUE(thread.done.Pass(kGenerousMs));
  EXPECT_TRUE(thread.done.Pass(0)) << "the predicate, not the notification, decides";
  thread.Finish();
}

TYPED_TEST(PlatformTest, SleepAndTheClockLastAtLeastAboutTheirTime) {
  using OsT = TypeParam;
  auto start = std::chrono::steady_clock::now();
  const uint64_t clock_start = OsT::monotonic_ms();
  OsT::sleep_ms(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
  EXPECT_GE(OsT::monotonic_ms() - clock_start, 20u);
}

// A BlockingIo call made on a thread of the test's own, reporting its result.
class IoCall {
 public:
  template <class Call>
  explicit IoCall(Call call) : thread_([this, call] {
      result_ = call();
      done_ = true;
    }) {}
  ~IoCall() {
    if (thread_.joinable()) thread_.join();
  }
  bool done() const { return done_; }
  // Waits for the call's end (generously); its result, or kTimedOutResult.
  int64_t Result() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (!done_ && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done_ ? result_.load() : kTimedOutResult;
  }
  static constexpr int64_t kTimedOutResult = -100;

 private:
  std::atomic<int64_t> result_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A stream opened on a test's pipe, closed with the test.
struct OpenStream {
  OpenStream(const std::string& name, const char* mode) : file(std::fopen(name.c_str(), mode)) {}
  explicit OpenStream(std::FILE* opened) : file(opened) {}
  ~OpenStream() { Close(); }
  OpenStream(const OpenStream&) = delete;
  OpenStream& operator=(const OpenStream&) = delete;
  void Close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
  }
  std::FILE* file;
};

TYPED_TEST(PlatformTest, BlockingIoReadsWhatComesThenTheEnd) {
  using OsT = TypeParam;
  test::HeldInput pipe;
  OpenStream stream(pipe.name(), "rb");
  std::FILE* file = stream.file;
  ASSERT_NE(file, nullptr);
  typename OsT::BlockingIo io;
  char bytes[64] = {};
  IoCall read([&] { return io.read(file, bytes, sizeof bytes); });
  pipe.Release("abc");
  EXPECT_EQ(read.Result(), 3);
  EXPECT_EQ(std::string(bytes, 3), "abc");
  EXPECT_EQ(io.read(file, bytes, sizeof bytes), 0) << "the writer has closed";
}

// A regular file measures its whole length, past 4 GiB too (a sparse file); a pipe
// has no length to measure.
TYPED_TEST(PlatformTest, RegularFilesMeasureTheirLengthPipesDoNot) {
  using OsT = TypeParam;
  test::TempDir dir;
  const std::string small = dir.path("small.bin"), huge = dir.path("huge.bin");
  test::WriteFile(small, "0123456789");
  test::MakeSizedFile(huge, (uint64_t{1} << 32) + 4097);
  OpenStream small_stream(small, "rb"), huge_stream(huge, "rb");
  ASSERT_NE(small_stream.file, nullptr);
  ASSERT_NE(huge_stream.file, nullptr);
  EXPECT_EQ(OsT::regular_file_size(small_stream.file), 10);
  EXPECT_EQ(OsT::regular_file_size(huge_stream.file), (int64_t{1} << 32) + 4097);

  test::HeldInput pipe;
  OpenStream pipe_stream(pipe.name(), "rb");
  ASSERT_NE(pipe_stream.file, nullptr);
  EXPECT_EQ(OsT::regular_file_size(pipe_stream.file), -1);
  pipe.Release();
}

// A read blocked on a silent pipe ends when interrupted, and so does every later call.
TYPED_TEST(PlatformTest, AnInterruptEndsABlockedReadAndEveryLaterCall) {
  using OsT = TypeParam;
  test::HeldInput pipe;
  OpenStream stream(pipe.name(), "rb");
  std::FILE* file = stream.file;
  ASSERT_NE(file, nullptr);
  typename OsT::BlockingIo io;
  char bytes[64] = {};
  if (OsT::kInterruptsBlockedCalls) {
    IoCall read([&] { return io.read(file, bytes, sizeof bytes); });
    // Time to block; an interrupt that comes first must end the read as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(read.done());
    io.interrupt();
    EXPECT_EQ(read.Result(), kIoInterrupted);
  } else {
    io.interrupt();
  }
  pipe.Release("abc");
  EXPECT_EQ(io.read(file, bytes, sizeof bytes), kIoInterrupted);
  EXPECT_EQ(io.write(file, bytes, 1), kIoInterrupted);
}

// A write blocked on a pipe whose reader reads nothing, interrupted: the call ends
// and not a byte of it reaches the pipe.
TYPED_TEST(PlatformTest, AnInterruptedWriteIntoAHeldPipeWritesNothing) {
  using OsT = TypeParam;
  if (!OsT::kInterruptsBlockedCalls) GTEST_SKIP() << OsT::kName << " does not interrupt a call under way";
  test::HeldOutput pipe;
  OpenStream stream(pipe.name(), "wb");
  std::FILE* file = stream.file;
  ASSERT_NE(file, nullptr);
  typename OsT::BlockingIo io;
  const std::string result(kAtomicWriteBytes, 'r');
  IoCall write([&] { return io.write(file, result.data(), static_cast<uint32_t>(result.size())); });
  // Time to block; an interrupt that comes first must end the write the same way.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(write.done());
  io.interrupt();
  EXPECT_EQ(write.Result(), kIoInterrupted);
  stream.Close();
  EXPECT_EQ(pipe.Drain(kGenerousMs), pipe.filler());
}

// The write end of a pipe whose reader has already gone.
std::FILE* PipeWithoutReader() {
#if defined(_WIN32)
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, nullptr, 0)) return nullptr;
  CloseHandle(read_end);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_BINARY);
  return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
  int ends[2];
  if (pipe(ends) != 0) return nullptr;
  close(ends[0]);
  return fdopen(ends[1], "wb");
#endif
}

// Writing to a pipe without a reader fails; natively it raises no SIGPIPE, which
// would end the whole process.
TYPED_TEST(PlatformTest, AWriteToAPipeWithoutReaderFails) {
  using OsT = TypeParam;
  OpenStream stream(PipeWithoutReader());
  ASSERT_NE(stream.file, nullptr);
  typename OsT::BlockingIo io;
  EXPECT_EQ(io.write(stream.file, "result", 6), -1);
}

}  // namespace
}  // namespace telvarn::platform
