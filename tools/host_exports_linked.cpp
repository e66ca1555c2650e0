// The core's own functions as HostExports, for programs that link the core itself.
#include "host_exports.h"

namespace telvarn {

void BindLinkedExports(HostExports& e) {
#define TELVARN_EXPORT(ordinal, name, member) e.member = &Telvarn_##name;
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
}

}  // namespace telvarn
