// The module-wide objects: static storage, built at load in a fixed order.
#include "engine/module.h"

namespace telvarn::module {
namespace {

// Static initialisation builds the objects in declaration order while the host
// loads the module; the runtime destroys them in reverse order when it unloads it.
SlotTable g_slot_table;
JobScheduler g_scheduler;

}  // namespace

SlotTable& slot_table() { return g_slot_table; }
JobScheduler& scheduler() { return g_scheduler; }

}  // namespace telvarn::module
