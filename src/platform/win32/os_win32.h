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
  static uint32_t usable_processors();
  static void sleep_ms(uint32_t ms);
  static uint64_t monotonic_ms();
  static int64_t read_file(std::FILE* file, void* buffer, uint32_t count);
  static bool position_file(std::FILE* file, uint64_t offset);
  static int64_t regular_file_size(std::FILE* file);
  static bool pin_module();
  static void unpin_module();
  [[noreturn]] static void leave_pinned_thread(uint32_t exit_code);
  static bool in_unloadable_module();

  class ConditionVariable;

  static constexpr bool kInterruptsBlockedCalls = true;

  // A call is an ordinary blocking ReadFile or WriteFile on the owner's thread;
  // interrupt() cancels it there with CancelSynchronousIo until the owner reports
  // that it has left it, except on a disk file, whose call it lets complete.
  class BlockingIo;

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
    // Marks the calling thread inside a call on `handle`: 0; kIoInterrupted once
    // interrupted, -1 when the thread cannot be named for a cancellation.
    int64_t Enter(void* handle);
    // Marks it outside again; whether the object has been interrupted.
    bool Leave();

    Mutex lock_;
    ConditionVariable left_;
    bool interrupted_ = false;       // guarded by lock_
    bool inside_ = false;            // guarded by lock_
    bool stoppable_ = false;         // the call under way is not on a disk file; guarded by lock_
    void* thread_ = nullptr;         // a handle to the calling thread, guarded by lock_
    uint32_t thread_id_ = 0;         // the thread that handle names
    // The stream last called on and whether its calls may be stopped; used by the
    // calling thread alone.
    void* typed_handle_ = nullptr;
    bool typed_stoppable_ = false;
  };
};

}  // namespace telvarn::platform
