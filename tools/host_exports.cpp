// Binding the eighteen exports: by decorated name from the DLL, or to the linked core.
#include "host_exports.h"

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
    error = std::string("TelvarnHX.hpi has no export ") + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

bool BindModuleExports(void* handle, HostExports& e, std::string& error) {
  auto module = static_cast<HMODULE>(handle);
  return true
#define TELVARN_EXPORT(ordinal, name, member) \
  &&Find(module, "_Telvarn_" #name "@16", e.member, error)
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
      ;
}

bool LoadHostExports(HostExports& exports, std::string& error) {
  HMODULE module = LoadLibraryA("TelvarnHX.hpi");
  if (module == nullptr) {
    error = "cannot load TelvarnHX.hpi (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return BindModuleExports(module, exports, error);
}

#else

bool LoadHostExports(HostExports& exports, std::string&) {
  BindLinkedExports(exports);
  return true;
}

#endif

}  // namespace telvarn
