// A long-lived host: many load/unload cycles with jobs in each, and several host
// threads starting a fresh module at once.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>

#include "jobs/job_fixture.h"
#include "module_binding/module_binding.h"
#include "support/test_support.h"

namespace telvarn::test {
namespace {

constexpr char kModuleName[] = TELVARN_MODULE_NAME;
constexpr char kTrivialModuleName[] = "telvarn_trivial_module.dll";

bool Loaded(const char* name) { return GetModuleHandleA(name) != nullptr; }

// Polls until the module has gone; the pause only paces the polling.
bool AwaitUnloaded(const char* name, int timeout_ms = 20000) {
  for (int waited = 0; waited < timeout_ms && Loaded(name); waited += 5) Sleep(5);
  return !Loaded(name);
}

struct Footprint {
  int64_t private_bytes = 0;  // committed private memory
  int64_t address_space = 0;  // reserved or committed, private or mapped: what a 32-bit host runs out of
  int64_t handles = 0;
  int64_t threads = 0;
};

// Walks the address space: Wine does not fill GetProcessMemoryInfo's PrivateUsage.
void MeasureMemory(Footprint& f) {
  MEMORY_BASIC_INFORMATION info;
  for (uintptr_t address = 0; VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) != 0;) {
    if (info.State != MEM_FREE) f.address_space += static_cast<int64_t>(info.RegionSize);
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
      f.private_bytes += static_cast<int64_t>(info.RegionSize);
    }
    const uintptr_t next = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
}

int64_t CountThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  int64_t count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Threads that have just returned may take a moment to be gone: polled for up to
// two seconds, the pause only pacing the polling.
Footprint Measure(int64_t threads_at_most = -1) {
  for (int i = 0; i < 200 && threads_at_most >= 0 && CountThreads() > threads_at_most; ++i) Sleep(10);
  Footprint f;
  MeasureMemory(f);
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  f.handles = handles;
  f.threads = CountThreads();
  return f;
}

// One cycle of a long-lived host: load, run a job at once, queue jobs so that
// some run and one waits, let go of the module with all of them in flight, and
// wait until the module has gone. Every result must arrive.
void TelvarnCycle(int cycle) {
  HMODULE module = LoadLibraryA(kModuleName);
  ASSERT_NE(module, nullptr);
  ModuleExports api{};
  std::string error;
  ASSERT_TRUE(BindModuleExports(module, api, error)) << error;
  std::vector<std::string> inputs;
  for (int i = 0; i < 5; ++i) inputs.push_back(std::string(65536 + i * 977 + cycle, static_cast<char>('a' + i)));
  char outputs[5][9];
  std::memset(outputs, '#', sizeof outputs);
  const int32_t priorities[5] = {0, 3, 3, 3, 1};
  for (int32_t io = 0; io < 5; ++io) {
    ASSERT_EQ(api.initialize(io, 0, 0, 0), 0);
    TelvarnVarDesc in = HostVar(inputs[io].c_str()), out = HostVar(outputs[io]);
    ASSERT_EQ(api.input_set(&in, io, TELVARN_MODE_MEMORY, 0), 0);
    ASSERT_EQ(api.output_set(&out, io, TELVARN_MODE_MEMORY, 8), 0);
    ASSERT_EQ(api.crc32(io, io == 0 ? TELVARN_RUN_NOW : TELVARN_QUEUE, priorities[io], 0), 0);
  }
  ASSERT_EQ(std::string(outputs[0], 8), ReferenceCrc32(inputs[0])) << "the synchronous job";
  ASSERT_TRUE(FreeLibrary(module));
  ASSERT_TRUE(AwaitUnloaded(kModuleName)) << "cycle " << cycle;
  for (int io = 0; io < 5; ++io) {
    ASSERT_EQ(std::string(outputs[io], 8), ReferenceCrc32(inputs[io])) << "cycle " << cycle << ", IO " << io;
    ASSERT_EQ(outputs[io][8], '#');
  }
}

void TrivialCycle(int) {
  HMODULE module = LoadLibraryA(kTrivialModuleName);
  ASSERT_NE(module, nullptr);
  // On i686 the export carries its __stdcall decoration; x86-64 has none.
  FARPROC found = nullptr;
  for (const char* name : {"TrivialNegate@4", "_TrivialNegate@4", "TrivialNegate"}) {
    if (found == nullptr) found = GetProcAddress(module, name);
  }
  ASSERT_NE(found, nullptr);
  auto negate = reinterpret_cast<int32_t(__stdcall*)(int32_t)>(reinterpret_cast<void*>(found));
  ASSERT_EQ(negate(5), -5);
  ASSERT_TRUE(FreeLibrary(module));
  ASSERT_TRUE(AwaitUnloaded(kTrivialModuleName));
}

// The growth of the process over `cycles` cycles, after a few to warm up.
Footprint Growth(void (*cycle)(int), int cycles) {
  for (int i = 0; i < 3; ++i) {
    cycle(i);
    if (::testing::Test::HasFatalFailure()) return {};
  }
  const int64_t threads = CountThreads();
  const Footprint before = Measure(threads);
  for (int i = 0; i < cycles; ++i) {
    cycle(i);
    if (::testing::Test::HasFatalFailure()) return {};
  }
  const Footprint after = Measure(threads);
  return {after.private_bytes - before.private_bytes, after.address_space - before.address_space,
          after.handles - before.handles, after.threads - before.threads};
}

// The module leaves nothing behind across load/unload cycles in which jobs ran,
// were queued and were in flight at FreeLibrary: no more private memory, handles
// or threads than a trivial DLL of the same toolchain costs. TELVARN_UNLOAD_CYCLES
// sets the count (40 here; scripts/reliability.sh runs 100).
TEST(UnloadCycles, LeaveNoMoreBehindThanATrivialDll) {
  ASSERT_FALSE(Loaded(kModuleName)) << "the module must not be loaded by anything else";
  int cycles = 40;
  if (const char* text = std::getenv("TELVARN_UNLOAD_CYCLES")) cycles = std::atoi(text);
  const Footprint trivial = Growth(&TrivialCycle, cycles);
  if (HasFatalFailure()) return;
  const Footprint telvarn = Growth(&TelvarnCycle, cycles);
  if (HasFatalFailure()) return;
  for (const auto& [name, f] : {std::pair{kModuleName, telvarn}, std::pair{"trivial DLL", trivial}}) {
    std::printf("over %d cycles, %s: private memory %+lld KiB, address space %+lld KiB, "
                "handles %+lld, threads %+lld\n",
                cycles, name, static_cast<long long>(f.private_bytes / 1024),
                static_cast<long long>(f.address_space / 1024), static_cast<long long>(f.handles),
                static_cast<long long>(f.threads));
  }
  EXPECT_LE(telvarn.private_bytes, trivial.private_bytes + (1 << 20));
  EXPECT_LE(telvarn.address_space, trivial.address_space + (1 << 20));
  EXPECT_LE(telvarn.handles, trivial.handles + 2);
  EXPECT_LE(telvarn.threads, 0) << "no thread outlives the module";
}

// Eight host threads make a fresh module's first calls at the same moment:
// registration, bindings, synchronous and asynchronous jobs on IOs of their own,
// waits. The scheduler starts once, no registration is lost, every result is
// right, and the module unloads cleanly; over several load/unload rounds.
TEST(HostThreads, StartAFreshModuleTogether) {
  ASSERT_FALSE(Loaded(kModuleName));
  constexpr int kThreads = 8;
  constexpr int kIosPerThread = 4;
  for (int round = 0; round < 6; ++round) {
    HMODULE module = LoadLibraryA(kModuleName);
    ASSERT_NE(module, nullptr);
    ModuleExports api{};
    std::string error;
    ASSERT_TRUE(BindModuleExports(module, api, error)) << error;

    std::mutex gate_mutex;
    std::condition_variable gate;
    bool open = false;
    std::atomic<int> failures{0};
    auto host = [&](int index) {
      {
        std::unique_lock<std::mutex> lock(gate_mutex);
        gate.wait(lock, [&] { return open; });
      }
      std::string inputs[kIosPerThread];
      char outputs[kIosPerThread][9];
      std::memset(outputs, '#', sizeof outputs);
      for (int i = 0; i < kIosPerThread; ++i) {
        const int32_t io = index * 100 + i;
        inputs[i] = "thread " + std::to_string(index) + " io " + std::to_string(i);
        TelvarnVarDesc in = HostVar(inputs[i].c_str()), out = HostVar(outputs[i]);
        if (api.initialize(io, 0, 0, 0) != 0 || api.input_set(&in, io, TELVARN_MODE_MEMORY, 0) != 0 ||
            api.output_set(&out, io, TELVARN_MODE_MEMORY, 8) != 0 || api.crc32(io, i % 2 == 0 ? TELVARN_RUN_NOW : TELVARN_QUEUE, 1 + i, 0) != 0) {
          ++failures;
        }
      }
      for (int i = 0; i < kIosPerThread; ++i) {
        const int32_t io = index * 100 + i;
        if (i % 2 == 1 && api.wait(io, TELVARN_WAIT_INFINITE, 0, 0) == TELVARN_WAIT_TIMED_OUT) ++failures;
        if (JobState(api, io) != TELVARN_JOB_FINISHED) ++failures;
        if (std::string(outputs[i], 8) != ReferenceCrc32(inputs[i])) ++failures;
      }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) threads.emplace_back(host, i);
    {
      std::lock_guard<std::mutex> lock(gate_mutex);
      open = true;
    }
    gate.notify_all();
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0) << "round " << round;
    EXPECT_TRUE(AllJobsEnd(api, 50));
    ASSERT_TRUE(FreeLibrary(module));
    ASSERT_TRUE(AwaitUnloaded(kModuleName)) << "round " << round;
  }
}

}  // namespace
}  // namespace telvarn::test
