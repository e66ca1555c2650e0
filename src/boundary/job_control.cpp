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
  if (slot == nullptr) return TELVARN_WAIT_NOTHING;
  Os::sleep_ms(kWaitPauseMs);
  Job* job = nullptr;
  bool ended = false;
  {
    JobsLockHold hold(JobsLock());
    // No job since initialisation, or one that had ended before the wait began:
    // nothing to wait on. The wait is on the job's own end, never on a thread.
    job = slot->job;
    if (job == nullptr) return TELVARN_WAIT_NOTHING;
    AddReference(*job);
    ended = platform::WaitUntil(job->changed, JobsLock(), timeout_ms,
                                [job] { return job->ended || job->cancelled; });
  }
  Release(job);
  return ended ? TELVARN_WAIT_ENDED : TELVARN_WAIT_TIMED_OUT;
}

int32_t WaitForAllJobs() {
  Os::sleep_ms(kWaitPauseMs);
  return module::scheduler().idle() ? TELVARN_ALL_IDLE : TELVARN_ALL_BUSY;
}

int32_t SuspendJob(int32_t io, int32_t resume_flag) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  int32_t result = 0;
  {
    JobsLockHold hold(JobsLock());
    Job* job = slot->job;
    const int32_t state = slot->job_state.load();
    if (job != nullptr && resume_flag == TELVARN_RESUME) {
      if (state == TELVARN_JOB_SUSPENDED) {
        job->suspended = false;
        job->attention.store(job->cancelled, std::memory_order_release);
        slot->job_state.store(TELVARN_JOB_RUNNING);
        job->changed.notify_all();
        result = TELVARN_RESUMED;
      }
    } else if (job != nullptr && state == TELVARN_JOB_RUNNING && !job->delivering) {
      // A job that has committed its result is as good as finished: it is no
      // longer held, so a suspension never outlives the job's end.
      job->suspended = true;
      job->attention.store(true, std::memory_order_release);
      slot->job_state.store(TELVARN_JOB_SUSPENDED);
    }
  }
  Os::sleep_ms(kSuspendPauseMs);
  return result;
}

}  // namespace telvarn
