// The job launcher: one procedure behind all seven job exports, parameterised by the job.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace telvarn {

struct IoSlot;

// A job as the launcher starts it: the routine of a thread of its own (queued
// jobs), and the same job run to its end on the calling thread (synchronous ones).
struct JobRoutines {
  platform::ThreadRoutine worker;
  void (*run_here)(IoSlot& slot);
};

// Priority argument 1-6 to queue level 0-5; any other value to level 3.
int32_t QueueLevelForPriority(int32_t priority);

// Starts a job on the IO. A synchronous launch (async_flag 0) runs the job on the
// calling thread and returns once it has ended: the caller would only wait for a
// thread of the job's own, and making one costs about a millisecond under Wine,
// more than a short job takes. The record then names no job thread. An
// asynchronous launch creates the worker thread suspended, with the IO's record
// as argument, and queues it for the scheduler. The first launch of either kind
// starts the scheduler. 0 started; -1 absent IO, or no thread could be made for
// an asynchronous job (nothing is then launched).
int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, const JobRoutines& job);

}  // namespace telvarn
