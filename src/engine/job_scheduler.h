// JobScheduler: admits queued asynchronous jobs by priority, each on a thread it makes at admission.
//
// Contracts:
// - One scheduler per module. Its calls are made with the jobs lock held.
// - A queued job holds no thread: the scheduler thread makes the job's thread when
//   it admits the job. Where no thread can be made, the job stays at the head of
//   its level and admission is tried again at the next pass.
// - The scheduler thread admits every level-0 job at once and keeps at most two
//   jobs (kMaxOrdinaryRunning) of any level running before it admits one of the
//   ordinary levels, lowest level first and oldest first within a level. At most
//   64 jobs (kMaxRunning) run at once; the rest stay queued, in order. A suspended
//   or cancelled job keeps its place among the running ones until its thread ends.
// - Each pass begins with a 100 ms sleep, so a job queued while a place is free
//   starts about 100 ms later; between passes the thread waits until a job is
//   queued, withdrawn or ends (at most 5 s).
// - The scheduler thread lives while anything is queued or running: the first
//   asynchronous launch starts it, and it ends itself, returning through the
//   module pin that it holds, once nothing is left. So an unload never has a
//   scheduler thread to stop, and a host's FreeLibrary while jobs are queued or
//   running leaves the module mapped until the last of them has ended.
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

  // Queues a job at its level, taking over the caller's reference, and starts the
  // scheduler thread if none runs. False when the job cannot be queued (no
  // thread, no memory): nothing is then stored.
  bool enqueue(Job* job);
  // Takes a job that is still queued out of the queue, handing its reference to
  // the caller; false when it is not queued.
  bool withdraw(Job* job);
  // A synchronous launch: from the first launch on, an empty scheduler is idle.
  void note_synchronous_launch();
  bool idle() const { return idle_.load(); }

 private:
  static uint32_t TELVARN_CALL SchedulerThread(void* scheduler);
  static uint32_t TELVARN_CALL JobThread(void* job);

  bool StartThread();
  void Run();
  // One pass of admission; false when a job could not be given a thread.
  bool Admit();
  bool StartJobThread(Job* job);
  void Notify();

  RunQueue queue_;
  platform::Os::ConditionVariable wake_;
  // Counts queueings, withdrawals and ends, so that the thread misses none of them.
  uint64_t changes_ = 0;
  uint32_t running_ = 0;
  bool thread_alive_ = false;
  std::atomic<bool> idle_{false};
};

}  // namespace telvarn
