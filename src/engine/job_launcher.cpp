// The job launcher: a synchronous run on the caller's thread, or a worker thread handed to the scheduler.
#include "engine/job_launcher.h"

#include "engine/module.h"

namespace telvarn {

using platform::Os;
using platform::ThreadHandle;

namespace {
// Set once the scheduler thread is running; a failed start is retried next time.
bool g_scheduler_launched = false;
}  // namespace

int32_t QueueLevelForPriority(int32_t priority) {
  return priority >= 1 && priority <= 6 ? priority - 1 : 3;
}

int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, const JobRoutines& job) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return -1;
  const int32_t level = QueueLevelForPriority(priority);
  if (!g_scheduler_launched) g_scheduler_launched = module::scheduler().start();

  if (async_flag == 0) {
    slot->job_thread = nullptr;
    slot->job_thread_id = 0;
    slot->job_ended.reset();
    slot->job_state.store(kJobLaunched);
    job.run_here(*slot);
    return 0;
  }

  // The pin keeps the module mapped for the worker however long it waits or runs;
  // the worker drops it as its thread ends.
  Os::pin_module();
  uint32_t thread_id = 0;
  ThreadHandle thread = Os::create_thread(job.worker, slot, /*start_suspended=*/true, &thread_id);
  if (thread == nullptr) {
    Os::unpin_module();
    return -1;
  }

  slot->job_thread = thread;
  slot->job_thread_id = thread_id;
  slot->job_ended.reset();
  slot->job_state.store(kJobLaunched);

  if (!g_scheduler_launched || !module::scheduler().enqueue(thread, level)) {
    // With no scheduler to admit it, or no room to queue it, the job runs at once
    // rather than wait for an admission that might never come.
    Os::resume_thread(thread);
    Os::close_thread(thread);
  }
  return 0;
}

}  // namespace telvarn
