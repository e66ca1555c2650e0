// JobScheduler: admits queued asynchronous jobs by priority, each on a thread it makes at admission.
//
// Contracts:
// - One scheduler per module. Its calls are made with the jobs lock held, except
//   prepare_launch, which is made without it.
// - A queued job holds no thread: the scheduler thread makes the job's thread when
//   it admits the job. Where no thread can be made, the job stays at the head of
//   its level and admission is tried again at the next pass.
// - An admitted job holds one of kMaxRunning (64) places from its admission until
//   its thread has ended: its thread marks the place finished once the job is
//   over, and the scheduler thread, at its next pass, waits for that thread's end
//   and closes its handle before it counts the place free. A suspended job keeps
//   its place too; a cancelled one until its thread ends, which the cancel
//   hastens by stopping a pipe read it is blocked in (engine/job.h).
// - The scheduler thread admits every level-0 job while a place is free and keeps
//   at most two places (kMaxOrdinaryRunning) taken, by jobs of any level, before
//   it admits one of the ordinary levels, lowest level first and oldest first
//   within a level. The rest stay queued, in order.
// - Each pass sleeps 100 ms (kPassSleepMs), then frees the places of finished jobs
//   and admits jobs into every place free at that moment; a place that frees
//   later waits for the next pass. Between passes the thread waits, unless that
//   happened during the pass, until a job is queued, withdrawn or finished (at
//   most 5 s). So a job queued while a place is free starts within about 100 ms,
//   and the next queued job about 100 ms after a running one has finished.
// - So the module's job threads never outnumber kMaxRunning. A job may have one
//   thread of its own besides, reading a large file ahead (digest/file_blocks.h),
//   which it ends before it finishes, so these too never outnumber the places.
//   With the scheduler thread (and, for a moment, the previous one returning
//   after it ended itself), the module has at most 2 * kMaxRunning + 2 threads.
// - The scheduler thread lives while anything is queued or running or a launch is
//   under way: an asynchronous launch makes it when none runs, and it ends
//   itself, returning through the module pin that it holds, once nothing is left.
//   So an unload never has a scheduler thread to stop, and a host's FreeLibrary
//   while jobs are queued or running leaves the module mapped until the last of
//   them has ended.
// - The scheduler thread is made without the jobs lock held, so the system's
//   locks taken in making a thread and pinning the module (on Windows the loader
//   lock) never nest inside it. One launch makes it; a launch that finds another
//   one making it waits for the outcome and, should that have failed, tries
//   itself. So at most one scheduler thread admits jobs, and a launch made while
//   the thread is ending itself either keeps it from ending or makes the next.
// - `idle` (what IO_WaitAll reports) holds from the first launch of either kind
//   whenever nothing is queued or running; before any launch it is false.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/run_queue.h"
#include "platform/platform.h"

namespace telvarn {

struct Job;

class JobScheduler {
 public:
  static constexpr uint32_t kMaxOrdinaryRunning = 2;
  static constexpr uint32_t kMaxRunning = 64;
  static constexpr uint32_t kRunningWaitMs = 5000;
  static constexpr uint32_t kPassSleepMs = 100;

  JobScheduler() = default;
  JobScheduler(const JobScheduler&) = delete;
  JobScheduler& operator=(const JobScheduler&) = delete;

  // Without the jobs lock, before an asynchronous launch takes it: makes the
  // scheduler thread if none runs and keeps the thread from ending until the
  // launch's enqueue. False when no thread can be made; nothing is then held.
  // Every true result is followed by exactly one enqueue.
  bool prepare_launch();
  // After prepare_launch: queues a job at its level, taking over the caller's
  // reference. False when the job cannot be queued (no memory): nothing is then
  // stored. Either way the launch no longer keeps the thread.
  bool enqueue(Job* job);
  // Takes a job that is still queued out of the queue, handing its reference to
  // the caller; false when it is not queued.
  bool withdraw(Job* job);
  // A synchronous launch: from the first launch on, an empty scheduler is idle.
  void note_synchronous_launch();
  bool idle() const { return idle_.load(); }

 private:
  static uint32_t TELVARN_CALL SchedulerThread(void* scheduler);
  static uint32_t TELVARN_CALL JobThread(void* place);

  // A place among the running jobs. Taken at admission and freed by the
  // scheduler thread, with the lock held; only the job's thread marks it
  // finished.
  struct Place {
    enum class State : uint8_t { kFree, kRunning, kFinished };
    State state = State::kFree;
    // The job its thread runs: set before the thread is made, and read by that
    // thread only.
    Job* job = nullptr;
    // Set once the thread has been made; closed when the place is freed.
    platform::ThreadHandle thread = nullptr;
  };

  bool StartThread();
  void Run();
  // Frees the places whose jobs have finished, each once its thread has ended.
  void FreeFinishedPlaces();
  // One pass of admission; false when a job could not be given a thread.
  bool Admit();
  bool StartJobThread(Job* job);
  void Notify();

  RunQueue queue_;
  platform::Os::ConditionVariable wake_;
  // Counts queueings (and launches that queued nothing), withdrawals and finished
  // jobs, so that the thread misses none of them.
  uint64_t changes_ = 0;
  Place places_[kMaxRunning];
  // The places not free.
  uint32_t places_taken_ = 0;
  // Launches between prepare_launch and enqueue.
  uint32_t launches_under_way_ = 0;
  // A scheduler thread runs, or a launch is making one.
  bool thread_alive_ = false;
  // A launch is making the scheduler thread; thread_made_ announces the outcome.
  bool thread_starting_ = false;
  platform::Os::ConditionVariable thread_made_;
  std::atomic<bool> idle_{false};
};

}  // namespace telvarn
