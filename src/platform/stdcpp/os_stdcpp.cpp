// The platform backend on the C++ standard library: threads, locks, condition variables, sleeping, raw file reads.
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace telvarn::platform {
namespace {

// One record per thread, shared by the thread and its handle; the last of the two
// to let go frees it.
struct ThreadControl {
  ThreadRoutine routine;
  void* arg;
  bool ended;
  int references;
};

// All thread records change under one mutex and announce every change on one
// condition variable, one pair for every thread and its waiters.
// Both are deliberately never destroyed, since detached threads may outlive
// static destruction at process exit.
std::mutex& StateMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::condition_variable& StateChanged() {
  static auto* cv = new std::condition_variable;
  return *cv;
}

int32_t g_live_records = 0;  // guarded by StateMutex()

void ReleaseLocked(ThreadControl* control) {
  if (--control->references == 0) {
    delete control;
    --g_live_records;
  }
}

void RunThread(ThreadControl* control) {
  control->routine(control->arg);
  std::lock_guard<std::mutex> lock(StateMutex());
  control->ended = true;
  ReleaseLocked(control);
  StateChanged().notify_all();
}

// Waits on StateChanged() until ready() holds or the time-out passes; returns ready().
template <class Predicate>
bool WaitLocked(std::unique_lock<std::mutex>& lock, uint32_t timeout_ms, Predicate ready) {
  if (timeout_ms == kInfinite) {
    StateChanged().wait(lock, ready);
    return true;
  }
  return StateChanged().wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
}

std::chrono::milliseconds Milliseconds(uint32_t ms) { return std::chrono::milliseconds(ms); }

}  // namespace

ThreadHandle StdCppOs::create_thread(ThreadRoutine routine, void* arg, uint32_t* thread_id) {
  static std::atomic<uint32_t> next_id{1};
  auto* control = new (std::nothrow) ThreadControl{routine, arg, false, 2};
  if (control == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(StateMutex());
    ++g_live_records;
  }
  try {
    std::thread(RunThread, control).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(StateMutex());
    --g_live_records;
    delete control;
    return nullptr;
  }
  if (thread_id != nullptr) *thread_id = next_id.fetch_add(1, std::memory_order_relaxed);
  return control;
}

bool StdCppOs::lower_thread_priority(ThreadHandle thread) { return thread != nullptr; }

WaitOutcome StdCppOs::wait_thread(ThreadHandle thread, uint32_t timeout_ms) {
  if (thread == nullptr) return WaitOutcome::kFailed;
  auto* control = static_cast<ThreadControl*>(thread);
  std::unique_lock<std::mutex> lock(StateMutex());
  return WaitLocked(lock, timeout_ms, [control] { return control->ended; }) ? WaitOutcome::kEnded
                                                                          : WaitOutcome::kTimedOut;
}

void StdCppOs::close_thread(ThreadHandle thread) {
  if (thread == nullptr) return;
  std::lock_guard<std::mutex> lock(StateMutex());
  ReleaseLocked(static_cast<ThreadControl*>(thread));
}

void StdCppOs::sleep_ms(uint32_t ms) { std::this_thread::sleep_for(Milliseconds(ms)); }

int64_t StdCppOs::read_file(std::FILE* file, void* buffer, uint32_t count) {
#if defined(_WIN32)
  const int n = _read(_fileno(file), buffer, count);
#else
  const ssize_t n = read(fileno(file), buffer, count);
#endif
  return n < 0 ? -1 : static_cast<int64_t>(n);
}

bool StdCppOs::position_file(std::FILE* file, uint64_t offset) {
#if defined(_WIN32)
  return _lseeki64(_fileno(file), static_cast<int64_t>(offset), SEEK_SET) >= 0;
#else
  return lseek(fileno(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
#endif
}

uint64_t StdCppOs::monotonic_ms() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

int32_t StdCppOs::live_thread_records() {
  std::lock_guard<std::mutex> lock(StateMutex());
  return g_live_records;
}

bool StdCppOs::ConditionVariable::wait(Mutex& mutex, uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
  bool notified = true;
  if (timeout_ms == kInfinite) {
    cv_.wait(lock);
  } else {
    notified = cv_.wait_for(lock, Milliseconds(timeout_ms)) == std::cv_status::no_timeout;
  }
  lock.release();
  return notified;
}

}  // namespace telvarn::platform
