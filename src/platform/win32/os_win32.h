// The platform backend on the Win32 kernel (see platform/platform.h for the contracts).
#pragma once

#include <cstdint>

namespace telvarn::platform {

struct Win32Os {
  static constexpr const char* kName = "win32";

  // Threads are made through the C runtime (_beginthreadex), which prepares its
  // per-thread state; a routine that returns ends its thread through the runtime.
  static ThreadHandle create_thread(ThreadRoutine routine, void* arg, bool start_suspended,
                                    uint32_t* thread_id);
  static bool resume_thread(ThreadHandle thread);
  // THREAD_PRIORITY_LOWEST.
  static bool lower_thread_priority(ThreadHandle thread);
  static WaitOutcome wait_thread(ThreadHandle thread, uint32_t timeout_ms);
  static int32_t wait_any_thread(const ThreadHandle* threads, uint32_t count, uint32_t timeout_ms);
  static void close_thread(ThreadHandle thread);
  static void sleep_ms(uint32_t ms);
  static void pin_module();
  static void unpin_module();
  static void leave_pinned_thread(uint32_t exit_code);
  [[noreturn]] static void park_current_thread();
  static void terminate_parked_thread(ThreadHandle thread);

  class Event {
   public:
    explicit Event(EventReset reset = EventReset::kAuto);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void set();
    void reset();
    bool wait(uint32_t timeout_ms);

   private:
    void* handle_;
  };

  class CriticalSection {
   public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void lock();
    void unlock();

   private:
    // Room for a CRITICAL_SECTION, which no header here may name; os_win32.cpp
    // checks that it fits.
    alignas(8) unsigned char storage_[48];
  };
};

}  // namespace telvarn::platform
