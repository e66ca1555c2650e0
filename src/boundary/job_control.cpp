// The job-control operations behind _Telvarn_IO_State, _Progress, _Wait, _WaitAll and _Suspend.
#include "boundary/job_control.h"

#include <cstring>

#include "engine/job.h"
#include "engine/module.h"

namespace telvarn {

using platform::Os;

namespace {

// Thousandths of the input consumed, at most 999: only a finished job reports 1000.
int32_t Thousandths(const InputProgress& progress) {
  if (progress.total <= 0) return 0;
  const auto total = static_cast<uint64_t>(progress.total);
  if (progress.consumed >= total) return 999;
  // consumed < total < 2^63: the product fits unless the input passes 2^64 / 1000
  // bytes, where dividing the total first loses nothing that shows.
  const uint64_t thousandths = progress.consumed <= UINT64_MAX / 1000 ? progress.consumed * 1000 / total
                                                                      : progress.consumed / (total / 1000);
  return thousandths > 999 ? 999 : static_cast<int32_t>(thousandths);
}

void WriteCounts(void* data, const InputProgress& progress) {
  const auto total = static_cast<uint64_t>(progress.total);
  const TelvarnProgressCounts counts = {
      static_cast<uint32_t>(progress.consumed), static_cast<uint32_t>(progress.consumed >> 32),
      static_cast<uint32_t>(total), static_cast<uint32_t>(total >> 32)};
  std::memcpy(data, &counts, sizeof counts);
}

}  // namespace

int32_t JobState(int32_t io) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  Os::sleep_ms(kStatePauseMs);
  return -slot->job_state.load();
}

int32_t JobProgress(int32_t io, const VarDesc* counts) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return 0;
  Os::sleep_ms(kProgressPauseMs);
  InputProgress progress;
  bool finished = false;
  {
    JobsLockHold hold(JobsLock());
    if (const Job* job = slot->job) {
      progress = {job->consumed.load(std::memory_order_relaxed), job->input_total};
    } else if (slot->last_job_finished) {
      progress = slot->last_job_progress;
      finished = true;
    }
  }
  if (counts != nullptr && counts->data != nullptr) WriteCounts(counts->data, progress);
  return finished ? TELVARN_PROGRESS_FINISHED : -Thousandths(progress);
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
