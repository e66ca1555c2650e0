// The job-control operations behind _Telvarn_IO_State, _Wait, _WaitAll and _Suspend.
#include "boundary/job_control.h"

#include "engine/job.h"
#include "engine/module.h"

namespace telvarn {

using platform::Os;

int32_t JobState(int32_t io) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  Os::sleep_ms(kStatePauseMs);
  return -slot->job_state.load();
}

int32_t WaitForJob(int32_t io, uint32_t timeout_ms) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return kWaitNothing;
  Os::sleep_ms(kWaitPauseMs);
  Job* job = nullptr;
  bool ended = false;
  {
    JobsLockHold hold(JobsLock());
    // No job since initialisation, or one that had ended before the wait began:
    // nothing to wait on. The wait is on the job's own end, never on a thread.
    job = slot->job;
    if (job == nullptr) return kWaitNothing;
    AddReference(*job);
    ended = platform::WaitUntil(job->changed, JobsLock(), timeout_ms,
                                [job] { return job->ended || job->cancelled; });
  }
  Release(job);
  return ended ? kWaitEnded : kWaitTimedOut;
}

int32_t WaitForAllJobs() {
  Os::sleep_ms(kWaitPauseMs);
  return module::scheduler().idle() ? kAllIdle : kAllBusy;
}

int32_t SuspendJob(int32_t io, int32_t resume_flag) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  int32_t result = 0;
  {
    JobsLockHold hold(JobsLock());
    Job* job = slot->job;
    const int32_t state = slot->job_state.load();
    if (job != nullptr && resume_flag == 1) {
      if (state == kJobSuspended) {
        job->suspended = false;
        job->attention.store(job->cancelled, std::memory_order_release);
        slot->job_state.store(kJobRunning);
        job->changed.notify_all();
        result = kResumed;
      }
    } else if (job != nullptr && state == kJobRunning && !job->delivering) {
      // A job that has committed its result is as good as finished: it is no
      // longer held, so a suspension never outlives the job's end.
      job->suspended = true;
      job->attention.store(true, std::memory_order_release);
      slot->job_state.store(kJobSuspended);
    }
  }
  Os::sleep_ms(kSuspendPauseMs);
  return result;
}

}  // namespace telvarn
