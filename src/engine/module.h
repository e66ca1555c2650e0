// The module-wide objects, built while the module loads and torn down when it unloads.
//
// Start-up builds the slot table, then the job scheduler; unload destroys them in
// the reverse order, so the scheduler is stopped before any IO record is freed.
// Worker threads pin the module (see platform.h): a host's FreeLibrary while jobs
// are queued, running or suspended returns at once and the module stays mapped,
// its jobs going on, until the last of them has ended; only then do the exit
// handlers run. A suspended job therefore holds the module until it is resumed (a
// host that loads the module again gets the same one) or the process ends.
#pragma once

#include "boundary/slot_table.h"
#include "engine/job_scheduler.h"

namespace telvarn::module {

// The one slot table of the module; only the host's calling thread uses it.
SlotTable& slot_table();
JobScheduler& scheduler();

}  // namespace telvarn::module
