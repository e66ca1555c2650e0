// The platform backend on the C++ standard library (see platform/platform.h for the contracts).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace telvarn::platform {

struct StdCppOs {
  static constexpr const char* kName = "stdcpp";

  // Creates a thread that runs routine(arg). thread_id, when given, receives a
  // process-unique id.
  static ThreadHandle create_thread(ThreadRoutine routine, void* arg, uint32_t* thread_id);
  // The standard library has no thread priorities; the scheduler merely asks.
  static bool lower_thread_priority(ThreadHandle thread);
  static WaitOutcome wait_thread(ThreadHandle thread, uint32_t timeout_ms);
  static void close_thread(ThreadHandle thread);
  static uint32_t usable_processors();
  static void sleep_ms(uint32_t ms);
  static uint64_t monotonic_ms();
  static int64_t read_file(std::FILE* file, void* buffer, uint32_t count);
  static bool position_file(std::FILE* file, uint64_t offset);
  static int64_t regular_file_size(std::FILE* file);
  static bool pin_module() { return true; }
  static void unpin_module() {}
  static void leave_pinned_thread(uint32_t) {}
  static bool in_unloadable_module() { return false; }
  // Thread records still alive (a record lives while its thread runs or a handle
  // to it is open): lets tests prove that no handle is left open.
  static int32_t live_thread_records();

  class ConditionVariable;

#if defined(_WIN32)
  static constexpr bool kInterruptsBlockedCalls = false;
#else
  static constexpr bool kInterruptsBlockedCalls = true;
#endif

  // Elsewhere than on Windows, each attempt is a non-blocking call made under the
  // object's mutex, and waiting is a poll on the stream and on a pipe of the
  // object's own that interrupt() writes to.
  class BlockingIo {
   public:
    BlockingIo() = default;
    ~BlockingIo();
    BlockingIo(const BlockingIo&) = delete;
    BlockingIo& operator=(const BlockingIo&) = delete;
    int64_t read(std::FILE* file, void* buffer, uint32_t count);
    int64_t write(std::FILE* file, const void* bytes, uint32_t count);
    void interrupt();

   private:
    template <class Attempt>
    int64_t Transfer(int fd, short events, Attempt attempt);
    bool WaitReady(int fd, short events);

    std::mutex mutex_;
    bool interrupted_ = false;  // guarded by mutex_
    int wake_[2] = {-1, -1};    // made by the caller's thread under mutex_
  };

  class Mutex {
   public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

   private:
    friend class ConditionVariable;
    std::mutex mutex_;
  };

  class ConditionVariable {
   public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;
    // With `mutex` held: waits until notified or timeout_ms pass (false then).
    bool wait(Mutex& mutex, uint32_t timeout_ms);
    void notify_all() { cv_.notify_all(); }

   private:
    std::condition_variable cv_;
  };
};

}  // namespace telvarn::platform
