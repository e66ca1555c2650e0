// The platform backend on the C++ standard library (see platform/platform.h for the contracts).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace telvarn::platform {

struct PosixOs {
  static constexpr const char* kName = "posix";

  // Creates a thread that runs routine(arg); with start_suspended it waits for
  // resume_thread first. thread_id, when given, receives a process-unique id.
  static ThreadHandle create_thread(ThreadRoutine routine, void* arg, bool start_suspended,
                                    uint32_t* thread_id);
  static bool resume_thread(ThreadHandle thread);
  // The standard library has no thread priorities; the scheduler merely asks.
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
  // Thread records still alive (a record lives while its thread runs or a handle
  // to it is open): lets tests prove that no handle is left open.
  static int32_t live_thread_records();

  class Event {
   public:
    explicit Event(EventReset reset = EventReset::kAuto) : manual_(reset == EventReset::kManual) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void set();
    void reset();
    // True when the event was signalled within the time-out (and is now reset).
    bool wait(uint32_t timeout_ms);

   private:
    std::mutex mutex_;
    std::condition_variable signalled_cv_;
    bool signalled_ = false;
    const bool manual_;
  };

  class CriticalSection {
   public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

   private:
    std::recursive_mutex mutex_;
  };
};

}  // namespace telvarn::platform
