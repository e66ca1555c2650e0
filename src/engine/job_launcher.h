// The job launcher: one procedure behind all seven job exports, parameterised by the
// worker routine.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace telvarn {

// Priority argument 1-6 to queue level 0-5; any other value to level 3.
int32_t QueueLevelForPriority(int32_t priority);

// Starts a job on the IO: the worker thread is created suspended with the IO's
// record as argument; a synchronous launch (async_flag 0) runs it to its end
// before returning, an asynchronous one queues it for the scheduler. The first
// launch of either kind starts the scheduler. 0 started; -1 absent IO, or no
// thread could be made for the job (nothing is then launched).
int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, platform::ThreadRoutine worker);

}  // namespace telvarn
