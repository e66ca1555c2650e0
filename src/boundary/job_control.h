// Following jobs: state, progress, wait, wait for the scheduler to go idle, suspend and resume.
//
// Each call that finds its IO pauses the calling thread for a fixed time (10 ms for
// state, progress and suspend, 200 ms for the waits), so that a script polling in
// a loop leaves the processor to the jobs.
#pragma once

#include <cstdint>

#include "slot_table/var_desc.h"
#include "telvarn.h"

namespace telvarn {

inline constexpr uint32_t kStatePauseMs = 10;
inline constexpr uint32_t kProgressPauseMs = 10;
inline constexpr uint32_t kSuspendPauseMs = 10;
inline constexpr uint32_t kWaitPauseMs = 200;

// Minus job_state; 0 for an absent IO (without pausing).
int32_t JobState(int32_t io);
// Minus the IO's job's progress in thousandths: 0 to -999 while a job is launched,
// running or suspended on an input of known length (0 on a pipe or device, whose
// length is unknown), TELVARN_PROGRESS_FINISHED (-1000) once it has finished
// until the IO is bound or re-initialised, 0 for an idle IO and (without pausing)
// for an absent one. With `counts` and counts->data not null, writes the
// TelvarnProgressCounts at counts->data (nothing for an absent IO). Reads under the jobs lock only, which
// no job holds while it reads or hashes: it never waits for a job and changes
// nothing.
int32_t JobProgress(int32_t io, const VarDesc* counts);
// TELVARN_WAIT_ENDED: the job ended (finished or was cancelled) during the wait;
// TELVARN_WAIT_TIMED_OUT: the time-out passed first; TELVARN_WAIT_NOTHING: absent
// IO, or nothing to wait on (no job launched since initialisation, or it had
// already ended).
int32_t WaitForJob(int32_t io, uint32_t timeout_ms);
// TELVARN_ALL_IDLE when the scheduler has nothing running and nothing queued, else
// TELVARN_ALL_BUSY.
int32_t WaitForAllJobs();
// resume_flag TELVARN_RESUME: a suspended job runs on (TELVARN_RESUMED); any other
// value: a running job is held at its next span boundary (0). 0 whenever nothing
// changes.
int32_t SuspendJob(int32_t io, int32_t resume_flag);

}  // namespace telvarn
