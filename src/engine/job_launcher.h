// The job launcher: one procedure behind all ten job exports, parameterised by the job.
#pragma once

#include <cstdint>

#include "engine/job.h"

namespace telvarn {

// Starts a job on the IO, moving the IO's bindings (and, for a keyed job, a copy
// of its key) into the job. A synchronous launch (async_flag 0) runs the job on
// the calling thread and returns once it has ended: a thread of the job's own
// would only be waited for, and under Wine making one costs more than a short job
// takes. An asynchronous launch queues the job for the
// scheduler and returns at once. 0 started; -1 absent IO, a job already
// launched, running or suspended on the IO (which goes on untouched), or a job
// that could not be queued; in each -1 case the IO is left as it was.
int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, const JobKind& kind);

}  // namespace telvarn
