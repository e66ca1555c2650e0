// Following jobs: state, wait, wait for the scheduler to go idle, suspend and resume.
//
// Each call that finds its IO pauses the calling thread for a fixed time (10 ms for
// state and suspend, 200 ms for the waits), so that a script polling in a loop
// leaves the processor to the jobs.
#pragma once

#include <cstdint>

namespace telvarn {

inline constexpr uint32_t kStatePauseMs = 10;
inline constexpr uint32_t kSuspendPauseMs = 10;
inline constexpr uint32_t kWaitPauseMs = 200;

// Minus job_state; 0 for an absent IO (without pausing).
int32_t JobState(int32_t io);
// -2 the job ended during the wait; -1 the time-out passed first; 0 absent IO or
// nothing to wait on (no job launched since initialisation, or it had already
// ended when the wait began: its thread handle has gone to its owner's close).
int32_t WaitForJob(int32_t io, uint32_t timeout_ms);
// -2 when the scheduler has nothing running and nothing queued, -1 otherwise.
int32_t WaitForAllJobs();
// resume_flag 1: a suspended job runs on (-1); any other value: a running job is
// held at its next chunk boundary (0). 0 whenever nothing changes.
int32_t SuspendJob(int32_t io, int32_t resume_flag);

}  // namespace telvarn
