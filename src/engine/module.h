// The module-wide objects, built while the module loads and torn down when it unloads.
#pragma once

#include "boundary/slot_table.h"

namespace telvarn::module {

// The one slot table of the module; only the host's calling thread uses it.
SlotTable& slot_table();

}  // namespace telvarn::module
