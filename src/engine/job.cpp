// A job's transitions under the jobs lock: start, hold, commit, end, cancel.
#include "engine/job.h"

#include <cstring>

#include "engine/module.h"

namespace telvarn {

using platform::Os;

Job::~Job() {
  CloseStream(input);
  CloseStream(output);
}

namespace {
// Constant-initialised with nothing to destroy, so job threads may still take it
// while a program's static objects are destroyed at its exit.
Os::Mutex g_jobs_lock;
}  // namespace

Os::Mutex& JobsLock() { return g_jobs_lock; }

void AddReference(Job& job) { job.references.fetch_add(1, std::memory_order_relaxed); }

void Release(Job* job) {
  if (job != nullptr && job->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete job;
}

namespace {

// With the lock held: publishes a state to the IO while the job is still its job.
void PublishState(Job& job, int32_t state) {
  if (job.slot.job == &job) job.slot.job_state.store(state);
}

void SignalChange(Job& job) { job.changed.notify_all(); }

// With the lock held: holds while the job is suspended; false once it is cancelled.
bool HoldWhileSuspendedLocked(Job& job) {
  platform::WaitUntil(job.changed, JobsLock(), platform::kInfinite,
                      [&] { return !job.suspended || job.cancelled; });
  return !job.cancelled;
}

}  // namespace

bool StartJob(Job& job) {
  JobsLockHold hold(JobsLock());
  if (job.cancelled) return false;
  PublishState(job, TELVARN_JOB_RUNNING);
  return true;
}

bool HoldWhileSuspended(Job& job) {
  JobsLockHold hold(JobsLock());
  return HoldWhileSuspendedLocked(job);
}

bool CommitResult(Job& job, const char* text, uint32_t length) {
  JobsLockHold hold(JobsLock());
  if (!HoldWhileSuspendedLocked(job)) return false;
  // Committed to its end, with a result or without one (a read error): no
  // suspension may hold it now, nor show it suspended on its way to finished.
  job.delivering = true;
  if (text == nullptr) return false;
  StreamBinding& output = job.output;
  if (!output.bound || output.kind != StreamKind::kMemory) return output.bound && output.kind == StreamKind::kFile;
  size_t count = length;
  if (output.size_explicit) {
    const int32_t room = output.size > output.pos ? output.size - output.pos : 0;
    if (count > static_cast<size_t>(room)) count = static_cast<size_t>(room);
  }
  std::memcpy(output.data + output.pos, text, count);
  output.pos += static_cast<int32_t>(count);
  return false;
}

void EndJob(Job& job) {
  CloseStream(job.input);
  CloseStream(job.output);
  bool drop_io_reference = false;
  {
    JobsLockHold hold(JobsLock());
    if (job.slot.job == &job) {
      job.slot.last_job_finished = true;
      job.slot.last_job_progress = {job.consumed.load(std::memory_order_relaxed), job.input_total};
      job.slot.job_state.store(TELVARN_JOB_FINISHED);
      job.slot.job = nullptr;
      drop_io_reference = true;
    }
    job.ended = true;
    SignalChange(job);
  }
  if (drop_io_reference) Release(&job);
}

void CancelJobOf(IoSlot& slot) {
  Job* job = nullptr;
  bool withdrawn = false;
  {
    JobsLockHold hold(JobsLock());
    job = slot.job;
    slot.job = nullptr;
    slot.job_state.store(TELVARN_JOB_IDLE);
    if (job == nullptr) return;
    job->cancelled = true;
    job->attention.store(true, std::memory_order_release);
    withdrawn = module::scheduler().withdraw(job);
    SignalChange(*job);
  }
  if (withdrawn) {
    // It never ran: end it here, with the queue's reference.
    EndJob(*job);
    Release(job);
  } else {
    // A read blocked on a pipe ends now, and a result not yet written never is.
    job->stream_io.interrupt();
    if (job->memory_input) {
      // The job may be inside a span of the host's memory; it lets go at the next
      // span boundary, where it sees the cancellation.
      job->memory_input_lock.lock();
      job->memory_input_lock.unlock();
    }
  }
  Release(job);
}

}  // namespace telvarn
