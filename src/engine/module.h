// The module-wide objects, built while the module loads and torn down when it unloads.
//
// Start-up builds the slot table, then the job scheduler; no thread is made at
// load. Every thread the module makes (the scheduler's, and each admitted job's)
// holds a pin on the module and ends through the platform's pinned exit, so a
// host's FreeLibrary while jobs are queued, running or suspended returns at once
// and the module stays mapped until the last of them has ended; the objects are
// destroyed only then, with no thread of the module left to stop or wait for. A
// suspended job therefore holds the module until it is resumed (a host that loads
// the module again gets the same one) or the process ends.
//
// In a program (the native build and the test programs) the objects are never
// destroyed: exit() runs static destructors while job threads may still run.
#pragma once

#include "slot_table/slot_table.h"
#include "engine/job_scheduler.h"

namespace telvarn::module {

SlotTable& slot_table();
JobScheduler& scheduler();

}  // namespace telvarn::module
