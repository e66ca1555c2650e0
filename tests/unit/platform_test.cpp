// One typed suite over every platform backend this build has: threads, waits, events, locks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace telvarn::platform {
namespace {

constexpr uint32_t kGenerousMs = 20000;

template <class OsT>
class PlatformTest : public ::testing::Test {};

using Backends = ::testing::Types<PosixOs
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

// A thread that records that it ran and then holds until its gate opens.
template <class OsT>
struct HeldThread {
  typename OsT::Event gate;
  std::atomic<bool> ran{false};
  ThreadHandle handle = nullptr;

  static uint32_t TELVARN_STDCALL Run(void* arg) {
    auto* self = static_cast<HeldThread*>(arg);
    self->ran = true;
    self->gate.wait(kInfinite);
    return 0;
  }

  void Start(bool suspended) {
    handle = OsT::create_thread(&Run, this, suspended, nullptr);
    ASSERT_NE(handle, nullptr);
  }
  void Finish() {
    gate.set();
    EXPECT_EQ(OsT::wait_thread(handle, kGenerousMs), WaitOutcome::kEnded);
    OsT::close_thread(handle);
    handle = nullptr;
  }
};

// A thread that waits for one event and then signals another.
template <class OsT>
struct RelayThread {
  struct Args {
    typename OsT::Event* in;
    typename OsT::Event* out;
  };
  static uint32_t TELVARN_STDCALL Run(void* arg) {
    auto* args = static_cast<Args*>(arg);
    if (args->in->wait(kInfinite)) args->out->set();
    return 0;
  }
};

// Threads that count together under one critical section, taken twice (nested).
template <class OsT>
struct CountingThread {
  static constexpr int kRounds = 2000;
  struct Shared {
    typename OsT::CriticalSection lock;
    long counter = 0;
  };
  static uint32_t TELVARN_STDCALL Run(void* arg) {
    auto* shared = static_cast<Shared*>(arg);
    for (int i = 0; i < kRounds; ++i) {
      ScopedLock<typename OsT::CriticalSection> outer(shared->lock);
      ScopedLock<typename OsT::CriticalSection> inner(shared->lock);
      shared->counter = shared->counter + 1;
    }
    return 0;
  }
};

uint32_t TELVARN_STDCALL ReturnAtOnce(void*) { return 0; }

TYPED_TEST(PlatformTest, SuspendedThreadRunsOnlyOnceResumed) {
  using OsT = TypeParam;
  HeldThread<OsT> thread;
  thread.Start(/*suspended=*/true);
  EXPECT_EQ(OsT::wait_thread(thread.handle, 50), WaitOutcome::kTimedOut);
  EXPECT_FALSE(thread.ran);
  EXPECT_TRUE(OsT::resume_thread(thread.handle));
  EXPECT_TRUE(OsT::lower_thread_priority(thread.handle));
  thread.Finish();
  EXPECT_TRUE(thread.ran);
}

TYPED_TEST(PlatformTest, WaitReportsTimeOutThenEnd) {
  using OsT = TypeParam;
  HeldThread<OsT> thread;
  thread.Start(/*suspended=*/false);
  EXPECT_EQ(OsT::wait_thread(thread.handle, 0), WaitOutcome::kTimedOut);
  EXPECT_EQ(OsT::wait_thread(thread.handle, 30), WaitOutcome::kTimedOut);
  thread.Finish();
}

TYPED_TEST(PlatformTest, ThreadRunsOnAfterItsHandleIsClosed) {
  using OsT = TypeParam;
  HeldThread<OsT> thread;
  typename OsT::Event done;
  typename RelayThread<OsT>::Args args{&thread.gate, &done};
  ThreadHandle handle = OsT::create_thread(&RelayThread<OsT>::Run, &args, false, nullptr);
  ASSERT_NE(handle, nullptr);
  OsT::close_thread(handle);
  thread.gate.set();
  EXPECT_TRUE(done.wait(kGenerousMs));
}

TYPED_TEST(PlatformTest, WaitAnyReportsTheLowestEndedIndex) {
  using OsT = TypeParam;
  std::vector<std::unique_ptr<HeldThread<OsT>>> threads;
  std::vector<ThreadHandle> handles;
  for (int i = 0; i < 5; ++i) {
    threads.push_back(std::make_unique<HeldThread<OsT>>());
    threads.back()->Start(false);
    handles.push_back(threads.back()->handle);
  }
  EXPECT_EQ(OsT::wait_any_thread(handles.data(), 5, 0), kWaitAnyTimedOut);
  EXPECT_EQ(OsT::wait_any_thread(handles.data(), 5, 20), kWaitAnyTimedOut);

  threads[3]->gate.set();
  EXPECT_EQ(OsT::wait_any_thread(handles.data(), 5, kGenerousMs), 3);
  threads[1]->gate.set();
  ASSERT_EQ(OsT::wait_thread(handles[1], kGenerousMs), WaitOutcome::kEnded);
  EXPECT_EQ(OsT::wait_any_thread(handles.data(), 5, 0), 1);
  EXPECT_EQ(OsT::wait_any_thread(handles.data() + 4, 1, 0), kWaitAnyTimedOut);

  for (auto& thread : threads) thread->Finish();
}

TYPED_TEST(PlatformTest, WaitAnyWatchesSixtyFourThreads) {
  using OsT = TypeParam;
  std::vector<std::unique_ptr<HeldThread<OsT>>> threads;
  std::vector<ThreadHandle> handles;
  for (uint32_t i = 0; i < kMaxWaitThreads; ++i) {
    threads.push_back(std::make_unique<HeldThread<OsT>>());
    threads.back()->Start(true);
    handles.push_back(threads.back()->handle);
  }
  threads.back()->gate.set();
  OsT::resume_thread(handles.back());
  EXPECT_EQ(OsT::wait_any_thread(handles.data(), kMaxWaitThreads, kGenerousMs), 63);
  for (auto& thread : threads) {
    OsT::resume_thread(thread->handle);
    thread->Finish();
  }
}

TYPED_TEST(PlatformTest, EmptyHandlesAndBadCountsFail) {
  using OsT = TypeParam;
  EXPECT_EQ(OsT::wait_thread(nullptr, 0), WaitOutcome::kFailed);
  EXPECT_FALSE(OsT::resume_thread(nullptr));
  OsT::close_thread(nullptr);
  HeldThread<OsT> thread;
  thread.Start(false);
  EXPECT_EQ(OsT::wait_any_thread(&thread.handle, 0, 0), kWaitAnyFailed);
  std::vector<ThreadHandle> too_many(kMaxWaitThreads + 1, thread.handle);
  EXPECT_EQ(OsT::wait_any_thread(too_many.data(), kMaxWaitThreads + 1, 0), kWaitAnyFailed);
  thread.Finish();
}

TYPED_TEST(PlatformTest, ThreadIdsAreDistinctAndNonZero) {
  using OsT = TypeParam;
  ThreadRoutine routine = &ReturnAtOnce;
  uint32_t first = 0, second = 0;
  ThreadHandle a = OsT::create_thread(routine, nullptr, true, &first);
  ThreadHandle b = OsT::create_thread(routine, nullptr, true, &second);
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  for (ThreadHandle h : {a, b}) {
    OsT::resume_thread(h);
    EXPECT_EQ(OsT::wait_thread(h, kGenerousMs), WaitOutcome::kEnded);
    OsT::close_thread(h);
  }
}

TYPED_TEST(PlatformTest, EventIsAutoReset) {
  using OsT = TypeParam;
  typename OsT::Event event;
  EXPECT_FALSE(event.wait(0));
  event.set();
  event.set();
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0));
  event.set();
  event.reset();
  EXPECT_FALSE(event.wait(10));
}

TYPED_TEST(PlatformTest, EventWakesAWaitingThread) {
  using OsT = TypeParam;
  typename OsT::Event ping, pong;
  typename RelayThread<OsT>::Args pair{&ping, &pong};
  ThreadHandle h = OsT::create_thread(&RelayThread<OsT>::Run, &pair, false, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(pong.wait(20));
  ping.set();
  EXPECT_TRUE(pong.wait(kGenerousMs));
  EXPECT_EQ(OsT::wait_thread(h, kGenerousMs), WaitOutcome::kEnded);
  OsT::close_thread(h);
}

TYPED_TEST(PlatformTest, CriticalSectionExcludesAndNests) {
  using OsT = TypeParam;
  typename CountingThread<OsT>::Shared shared;
  constexpr int kThreads = 4;
  std::vector<ThreadHandle> handles;
  for (int i = 0; i < kThreads; ++i) {
    handles.push_back(OsT::create_thread(&CountingThread<OsT>::Run, &shared, false, nullptr));
  }
  for (ThreadHandle h : handles) {
    EXPECT_EQ(OsT::wait_thread(h, kGenerousMs), WaitOutcome::kEnded);
    OsT::close_thread(h);
  }
  EXPECT_EQ(shared.counter, long{kThreads} * CountingThread<OsT>::kRounds);
}

TYPED_TEST(PlatformTest, SleepLastsAtLeastAboutItsTime) {
  using OsT = TypeParam;
  auto start = std::chrono::steady_clock::now();
  OsT::sleep_ms(30);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(25));
}

}  // namespace
}  // namespace telvarn::platform
