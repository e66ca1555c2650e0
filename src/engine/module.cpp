// The module-wide objects: static storage, built at load in a fixed order.
#include "engine/module.h"

#include <new>

#if defined(_WIN32) && defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace telvarn::module {
namespace {

// An object built at load and destroyed at unload only where the module is a DLL
// (see module.h).
template <class T>
class ModuleObject {
 public:
  ModuleObject() { new (storage_) T(); }
  ~ModuleObject() {
    if (platform::Os::in_unloadable_module()) get().~T();
  }
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

// The C++ runtime linked into the DLL keeps a pool for exceptions thrown under
// memory pressure, allocated at load and never freed: lost to every load/unload
// cycle (the unload test counts it) unless it is given back here, after everything else.
struct RuntimePoolRelease {
  ~RuntimePoolRelease() {
#if defined(_WIN32) && defined(__GLIBCXX__)
    if (platform::Os::in_unloadable_module()) __gnu_cxx::__freeres();
#endif
  }
};

// Static initialisation builds the objects in declaration order while the host
// loads the module; they are destroyed in reverse order when it unloads it.
RuntimePoolRelease g_runtime_pool_release;
ModuleObject<SlotTable> g_slot_table;
ModuleObject<JobScheduler> g_scheduler;

}  // namespace

SlotTable& slot_table() { return g_slot_table.get(); }
JobScheduler& scheduler() { return g_scheduler.get(); }

}  // namespace telvarn::module
