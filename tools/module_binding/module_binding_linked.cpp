// The core's own functions as ModuleExports, for programs that link the core itself.
#include "module_binding/module_binding.h"

namespace telvarn {

void BindLinkedExports(ModuleExports& e) {
#define TELVARN_EXPORT(ordinal, name, member) e.member = &Telvarn_##name;
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
}

}  // namespace telvarn
