// What a process holds (memory, address space, handles, threads), and what load/unload cycles of a DLL add to it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace telvarn::test {

struct Footprint {
  int64_t private_bytes = 0;  // committed private memory
  int64_t address_space = 0;  // reserved or committed, private or mapped: what a 32-bit host runs out of
  int64_t handles = 0;
  std::map<std::string, int64_t> handle_types;  // the handles by their objects' type
  int64_t threads = 0;
};

// The types whose counts differ, with the difference: "Event +3, Thread +1".
std::string DescribeHandleTypes(const Footprint& growth);

// The process now; with threads_at_most not negative, once no more than that many
// threads exist (threads that have just returned may take a moment to be gone),
// waiting up to two seconds for it.
Footprint MeasureProcess(int64_t threads_at_most = -1);

// What `cycles` calls of cycle(i) add to the process, after three to warm up; all
// zero as soon as a cycle has had a fatal failure. Measured once the process has
// as many threads as before them, or after two seconds.
Footprint CycleGrowth(const std::function<void(int)>& cycle, int cycles);

// The name of a DLL from the same toolchain with one export and nothing else, and
// one cycle of it: load, call the export, unload, wait until it has gone.
inline constexpr char kTrivialModuleName[] = "telvarn_trivial_module.dll";
void TrivialModuleCycle(int cycle);

// Polls until the named module has gone from the process; the pause only paces
// the polling.
bool AwaitModuleUnloaded(const char* name, int timeout_ms = 20000);

}  // namespace telvarn::test
