// Binding the module's exports: by name from the DLL of this architecture, or to the linked core.
#include "module_binding/module_binding.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace telvarn {

#if defined(_WIN32)

namespace {

template <class Fn>
bool Find(HMODULE module, const char* name, Fn& fn, std::string& error) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    error = std::string(TELVARN_MODULE_NAME " has no export ") + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

bool BindModuleExports(void* handle, ModuleExports& e, std::string& error) {
  auto module = static_cast<HMODULE>(handle);
  return true
#define TELVARN_EXPORT(ordinal, name, member) \
  &&Find(module, TELVARN_EXPORT_NAME(name), e.member, error)
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
      ;
}

bool LoadModuleExports(ModuleExports& exports, std::string& error) {
  HMODULE module = LoadLibraryA(TELVARN_MODULE_NAME);
  if (module == nullptr) {
    error = "cannot load " TELVARN_MODULE_NAME " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return BindModuleExports(module, exports, error);
}

#else

bool LoadModuleExports(ModuleExports& exports, std::string&) {
  BindLinkedExports(exports);
  return true;
}

#endif

}  // namespace telvarn
