// The job launcher: one procedure behind all ten job exports, parameterised by the job.
#pragma once

#include <cstddef>
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
// that could not be queued, or a keyed job whose key `accepts_key` refuses; in
// each -1 case the IO is left as it was. `accepts_key`, when given, judges the key
// text the keyed job took (its bytes up to the first NUL), under the same lock
// that makes the copy, so that the job runs on exactly the key that was judged.
using KeyCheck = bool (*)(const uint8_t* key, size_t length);
int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, const JobKind& kind,
                  KeyCheck accepts_key = nullptr);

}  // namespace telvarn
