// The module's exports as function pointers, as a host reaches them: taken from the
// module of the architecture (TELVARN_MODULE_NAME) with LoadLibrary and GetProcAddress
// on Windows, bound to the linked core elsewhere. Shared by the command-line program,
// the tests and the benchmark.
#pragma once

#include <string>

#include "telvarn.h"

namespace telvarn {

// One pointer per row of the export table, named by the row's member.
struct ModuleExports {
#define TELVARN_EXPORT(ordinal, name, member) decltype(&Telvarn_##name) member;
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
};

#if defined(_WIN32)
// Fills `exports` from a loaded module (its HMODULE), each export found by its
// TELVARN_EXPORT_NAME: the decorated name on 32-bit Windows, the plain one on
// 64-bit. False, with the missing name in `error`, when an export is not there.
bool BindModuleExports(void* module, ModuleExports& exports, std::string& error);
#endif

// Windows: loads TELVARN_MODULE_NAME (searched for as LoadLibrary does: the
// program's folder first) and binds its exports; the module stays loaded.
// Elsewhere: the core's own functions (BindLinkedExports).
bool LoadModuleExports(ModuleExports& exports, std::string& error);

// The functions of the core linked into this program (module_binding_linked.cpp).
void BindLinkedExports(ModuleExports& exports);

}  // namespace telvarn
