// The platform backend on the Win32 kernel (see platform/platform.h for the contracts).
#pragma once

#include <cstdint>
#include <cstdio>

namespace telvarn::platform {

struct Win32Os {
  static constexpr const char* kName = "win32";

  // Threads are made through the C runtime (_beginthreadex), which prepares its
  // per-thread state, with a stack of kThreadStackBytes reserved; a routine that
  // returns ends its thread through the runtime.
  static ThreadHandle create_thread(ThreadRoutine routine, void* arg, uint32_t* thread_id);
  // THREAD_PRIORITY_LOWEST.
  static bool lower_thread_priority(ThreadHandle thread);
  static WaitOutcome wait_thread(ThreadHandle thread, uint32_t timeout_ms);
  static void close_thread(ThreadHandle thread);
  static void sleep_ms(uint32_t ms);
  static uint64_t monotonic_ms();
  static int64_t read_file(std::FILE* file, void* buffer, uint32_t count);
  static bool position_file(std::FILE* file, uint64_t offset);
  static bool pin_module();
  static void unpin_module();
  [[noreturn]] static void leave_pinned_thread(uint32_t exit_code);
  static bool in_unloadable_module();

  class ConditionVariable;

  // An SRW lock in exclusive mode.
  class Mutex {
   public:
    constexpr Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

   private:
    friend class ConditionVariable;
    // An SRWLOCK, which no header here may name: one pointer, zero when free.
    void* storage_ = nullptr;
  };

  class ConditionVariable {
   public:
    constexpr ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;
    bool wait(Mutex& mutex, uint32_t timeout_ms);
    void notify_all();

   private:
    // A CONDITION_VARIABLE: one pointer, zero when nobody waits.
    void* storage_ = nullptr;
  };
};

}  // namespace telvarn::platform
