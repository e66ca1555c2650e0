// The platform backend on the C++ standard library: threads, locks, condition variables, sleeping, raw and interruptible file IO.
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <new>
#include <exception>
#include <thread>

#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#if defined(__linux__)
#include <sched.h>
#endif
#include <ctime>
#endif

namespace telvarn::platform {
namespace {

// One record per thread, shared by the thread and its handle; the last of the two
// to let go frees it.
//
// A thread that lets go of its record last detaches itself, except on mingw-w64:
// with winpthreads, a thread created while detached threads end may never run
// its routine, or run it with a null argument (seen under Wine when created
// while detached threads end; never with joined ones). There such threads are
// joined by the next create_thread or close_thread instead.
struct ThreadControl {
  ThreadRoutine routine;
  void* arg;
  bool ended;
  int references;
  std::thread thread;            // set by create_thread under StateMutex()
  ThreadControl* next_unjoined;  // the link in g_unjoined (Windows only)
};

// All thread records change under one mutex and announce every change on one
// condition variable, one pair for every thread and its waiters.
// Both are deliberately never destroyed, since threads may outlive static
// destruction at process exit.
std::mutex& StateMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::condition_variable& StateChanged() {
  static auto* cv = new std::condition_variable;
  return *cv;
}

int32_t g_live_records = 0;  // guarded by StateMutex()

// Windows only: records let go of last by their own threads, whose threads are
// still to be joined. A list through the records, so that a thread's last step
// allocates nothing. Guarded by StateMutex().
ThreadControl* g_unjoined = nullptr;

// With StateMutex() held. Returns the record when the caller must join its
// thread and free it.
ThreadControl* ReleaseLocked(ThreadControl* control, bool by_own_thread) {
  if (--control->references != 0) return nullptr;
  --g_live_records;
  if (!by_own_thread) return control;
#if defined(_WIN32)
  control->next_unjoined = g_unjoined;
  g_unjoined = control;
#else
  control->thread.detach();
  delete control;
#endif
  return nullptr;
}

// Joins and frees the records in g_unjoined and `also`. Their threads have
// ended their routines and only return from RunThread, so the joins are short.
void JoinEnded(ThreadControl* also) {
  ThreadControl* ended;
  {
    std::lock_guard<std::mutex> lock(StateMutex());
    ended = g_unjoined;
    g_unjoined = nullptr;
  }
  if (also != nullptr) {
    also->next_unjoined = ended;
    ended = also;
  }
  while (ended != nullptr) {
    ThreadControl* next = ended->next_unjoined;
    ended->thread.join();
    delete ended;
    ended = next;
  }
}

void RunThread(ThreadControl* control) {
  control->routine(control->arg);
  std::lock_guard<std::mutex> lock(StateMutex());
  control->ended = true;
  ReleaseLocked(control, true);
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
  JoinEnded(nullptr);
  auto* control = new (std::nothrow) ThreadControl{routine, arg, false, 2, std::thread(), nullptr};
  if (control == nullptr) return nullptr;
  {
    // The new thread takes the lock only after its routine, so it finds its
    // std::thread in place.
    std::lock_guard<std::mutex> lock(StateMutex());
    try {
      control->thread = std::thread(RunThread, control);
    } catch (const std::exception&) {
      delete control;
      return nullptr;
    }
    ++g_live_records;
  }
  if (thread_id != nullptr) *thread_id = next_id.fetch_add(1, std::memory_order_relaxed);
  return control;
}

bool StdCppOs::lower_thread_priority(ThreadHandle thread) { return thread != nullptr; }

uint32_t StdCppOs::usable_processors() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<uint32_t>(count);
  }
#endif
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

WaitOutcome StdCppOs::wait_thread(ThreadHandle thread, uint32_t timeout_ms) {
  if (thread == nullptr) return WaitOutcome::kFailed;
  auto* control = static_cast<ThreadControl*>(thread);
  std::unique_lock<std::mutex> lock(StateMutex());
  return WaitLocked(lock, timeout_ms, [control] { return control->ended; }) ? WaitOutcome::kEnded
                                                                          : WaitOutcome::kTimedOut;
}

void StdCppOs::close_thread(ThreadHandle thread) {
  if (thread == nullptr) return;
  ThreadControl* to_join;
  {
    std::lock_guard<std::mutex> lock(StateMutex());
    to_join = ReleaseLocked(static_cast<ThreadControl*>(thread), false);
  }
  JoinEnded(to_join);
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

int64_t StdCppOs::regular_file_size(std::FILE* file) {
#if defined(_WIN32)
  struct _stat64 info;
  if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
#endif
  return static_cast<int64_t>(info.st_size);
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

#if defined(_WIN32)

StdCppOs::BlockingIo::~BlockingIo() = default;

int64_t StdCppOs::BlockingIo::read(std::FILE* file, void* buffer, uint32_t count) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (interrupted_) return kIoInterrupted;
  }
  const int n = _read(_fileno(file), buffer, count);
  return n < 0 ? -1 : n;
}

int64_t StdCppOs::BlockingIo::write(std::FILE* file, const void* bytes, uint32_t count) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (interrupted_) return kIoInterrupted;
  const int n = _write(_fileno(file), bytes, count);
  return n < 0 ? -1 : n;
}

void StdCppOs::BlockingIo::interrupt() {
  std::lock_guard<std::mutex> hold(mutex_);
  interrupted_ = true;
}

#else

namespace {

// The stream's descriptor is the module's own (it opened the file), so making it
// non-blocking changes nobody else's.
bool MakeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && ((flags & O_NONBLOCK) != 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0);
}

// A write to a pipe whose reader has gone raises SIGPIPE, which would end the
// host's process: it is blocked on this thread for the write, and one it raised
// is taken back before the mask is restored, so the write just fails (EPIPE).
ssize_t WriteWithoutSigpipe(int fd, const void* bytes, size_t count) {
  sigset_t pipe_signal, previous, pending;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
  const ssize_t n = ::write(fd, bytes, count);
  const int error = errno;
  if (n < 0 && error == EPIPE && !already_pending) {
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return n;
}

}  // namespace

StdCppOs::BlockingIo::~BlockingIo() {
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

bool StdCppOs::BlockingIo::WaitReady(int fd, short events) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (interrupted_) return false;
    if (wake_[0] < 0 && pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  }
  pollfd ready[2] = {{fd, events, 0}, {wake_[0], POLLIN, 0}};
  // Without a wake pipe (no descriptor to be had) the flag is looked at every 50 ms.
  poll(ready, wake_[0] >= 0 ? 2 : 1, wake_[0] >= 0 ? -1 : 50);
  return true;
}

template <class Attempt>
int64_t StdCppOs::BlockingIo::Transfer(int fd, short events, Attempt attempt) {
  if (!MakeNonBlocking(fd)) return -1;
  for (;;) {
    ssize_t n;
    int error;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (interrupted_) return kIoInterrupted;
      n = attempt();
      error = errno;
    }
    if (n >= 0) return n;
    if (error == EINTR) continue;
    if (error != EAGAIN && error != EWOULDBLOCK) return -1;
    if (!WaitReady(fd, events)) return kIoInterrupted;
  }
}

int64_t StdCppOs::BlockingIo::read(std::FILE* file, void* buffer, uint32_t count) {
  const int fd = fileno(file);
  return Transfer(fd, POLLIN, [&] { return ::read(fd, buffer, count); });
}

int64_t StdCppOs::BlockingIo::write(std::FILE* file, const void* bytes, uint32_t count) {
  const int fd = fileno(file);
  const auto* from = static_cast<const uint8_t*>(bytes);
  uint32_t done = 0;
  while (done < count) {
    const int64_t n = Transfer(fd, POLLOUT, [&] { return WriteWithoutSigpipe(fd, from + done, count - done); });
    if (n < 0) return n;
    done += static_cast<uint32_t>(n);
  }
  return count;
}

void StdCppOs::BlockingIo::interrupt() {
  std::lock_guard<std::mutex> hold(mutex_);
  interrupted_ = true;
  if (wake_[1] >= 0) {
    const char wake = 1;
    (void)!::write(wake_[1], &wake, 1);
  }
}

#endif

}  // namespace telvarn::platform
