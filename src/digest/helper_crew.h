// HelperCrew: a job's own helper threads, made at its first batch of work, reused for every batch after, ended when the job ends.
//
// Contracts:
// - A crew belongs to one job and is driven from that job's thread only: Run hands
//   the tasks of one batch to the helpers and to the calling thread, and returns
//   once every task has returned. Between batches the helpers wait on the crew's
//   condition variable and hold nothing else, so a job suspended or cancelled at a
//   span boundary keeps its helpers idle.
// - The threads are made at the first Run, up to the count given; one that cannot
//   be made leaves its share to the others (the caller at least), so Run always
//   completes the batch.
// - Destruction ends the helpers and waits for each: no helper outlives its job,
//   so a job that ends (finished, cancelled, or stopped by unloading) leaves none.
// - The crew's threads count against the module's thread bound (docs/api.md,
//   "Threads"): at most kMostHelpers per crew, and the jobs' crews together draw
//   on one budget (digest/blake3_shared.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace telvarn {

class HelperCrew {
 public:
  static constexpr uint32_t kMostHelpers = 15;
  using Task = void (*)(void* context, uint32_t index);

  // Up to `helpers` threads (at most kMostHelpers); 0 makes a crew of the caller alone.
  explicit HelperCrew(uint32_t helpers);
  ~HelperCrew();
  HelperCrew(const HelperCrew&) = delete;
  HelperCrew& operator=(const HelperCrew&) = delete;

  // Calls task(context, i) once for every i < count, on the helpers and the calling
  // thread, in any order and at once; returns when every call has returned.
  void Run(uint32_t count, Task task, void* context);
  // The helper threads made so far.
  uint32_t helpers() const { return started_; }

 private:
  static uint32_t TELVARN_CALL HelperMain(void* self);
  // Takes and runs the open batch's tasks until none is left; returns how many it ran.
  uint32_t RunTasks();

  const uint32_t wanted_;
  uint32_t started_ = 0;
  bool made_ = false;
  platform::ThreadHandle threads_[kMostHelpers] = {};

  platform::Os::Mutex lock_;
  platform::Os::ConditionVariable work_;  // a batch opened, or the crew ends
  platform::Os::ConditionVariable done_;  // a helper left the batch
  // The batch: set by Run under the lock before it opens; read by helpers that
  // joined it, and the caller keeps it open until every one of them has left.
  Task task_ = nullptr;
  void* context_ = nullptr;
  uint32_t count_ = 0;
  std::atomic<uint32_t> next_{0};
  uint64_t batch_ = 0;     // numbers the batches, so that a helper joins each once
  bool open_ = false;
  bool stop_ = false;
  uint32_t joined_ = 0;    // helpers in the open batch
  uint32_t finished_ = 0;  // tasks of the open batch that returned
};

}  // namespace telvarn
