// JobScheduler: the thread that admits queued asynchronous jobs by priority.
//
// Contracts:
// - One scheduler per module. Its thread is started by the first job launch
//   (start) and lives until the scheduler is destroyed at unload.
// - The thread resumes every level-0 job at once and keeps at most `max_running`
//   (2) jobs of the ordinary levels running, lowest level first and oldest first
//   within a level; it closes each worker's handle when it sees the thread end.
//   The running list holds at most 64 workers, the most one wait can watch; jobs
//   that do not fit stay queued, in order, until room frees.
// - enqueue may be called from the host's thread at any time; a job queued while
//   the thread goes idle is never stranded.
// - `waiting` (idle) is set while the thread has nothing running and nothing queued.
// - Destruction stops the thread: it is asked to stop, given up to 1000 ms to say
//   that it has parked, and then ended where the platform can end a thread (a
//   parked scheduler holds no lock). Where it cannot be shown to have parked, the
//   state it shares is left allocated rather than destroyed under it.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/run_queue.h"
#include "platform/platform.h"

namespace telvarn {

class JobScheduler {
 public:
  static constexpr int32_t kMaxRunning = 2;
  static constexpr uint32_t kRunningWaitMs = 5000;
  static constexpr uint32_t kPassSleepMs = 100;
  static constexpr uint32_t kStopWaitMs = 1000;

  JobScheduler();
  ~JobScheduler();
  JobScheduler(const JobScheduler&) = delete;
  JobScheduler& operator=(const JobScheduler&) = delete;

  // Starts the scheduler thread unless it runs already. False when the thread
  // cannot be created; a later call tries again.
  bool start();
  // Queues a suspended worker at a level (0-5) and wakes the idle scheduler. False
  // when it cannot be queued (nothing is then stored).
  bool enqueue(platform::ThreadHandle worker, int32_t level);
  // The scheduler has nothing running and nothing queued.
  bool idle() const;

 private:
  // Everything the scheduler thread touches; allocated so that a thread that
  // could not be stopped never sees it destroyed.
  struct Shared;

  static uint32_t TELVARN_STDCALL ThreadMain(void* shared);

  Shared* shared_;
};

}  // namespace telvarn
