// The job-control operations behind _Telvarn_IO_State, _Wait, _WaitAll and _Suspend.
#include "boundary/job_control.h"

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
  if (slot == nullptr) return 0;
  Os::sleep_ms(kWaitPauseMs);
  // No job since initialisation, or one that had ended before the wait began (its
  // thread handle gone to its owner's close): nothing to wait on. The wait itself
  // is on the IO's own end-of-job signal, never on a thread handle that its owner
  // may close, or the system reuse, meanwhile.
  int32_t state = slot->job_state.load();
  if (state == kJobIdle || state == kJobFinished) return 0;
  return slot->job_ended.wait(timeout_ms) ? -2 : -1;
}

int32_t WaitForAllJobs() {
  Os::sleep_ms(kWaitPauseMs);
  return module::scheduler().idle() ? -2 : -1;
}

int32_t SuspendJob(int32_t io, int32_t resume_flag) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  int32_t result = 0;
  if (resume_flag == 1) {
    int32_t expected = kJobSuspended;
    if (slot->job_state.compare_exchange_strong(expected, kJobRunning)) {
      slot->resume_event.set();
      result = -1;
    }
  } else {
    int32_t expected = kJobRunning;
    slot->job_state.compare_exchange_strong(expected, kJobSuspended);
  }
  Os::sleep_ms(kSuspendPauseMs);
  return result;
}

}  // namespace telvarn
