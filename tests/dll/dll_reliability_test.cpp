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

#include "dll/process_footprint.h"
#include "jobs/job_fixture.h"
#include "module_binding/module_binding.h"
#include "support/test_support.h"

namespace telvarn::test {
namespace {

constexpr char kModuleName[] = TELVARN_MODULE_NAME;

bool Loaded(const char* name) { return GetModuleHandleA(name) != nullptr; }

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
  // BLAKE3 over 2 MiB shares its spans with helper threads: once now, and once
  // queued and in flight as the module is let go.
  const std::string large(size_t{2} << 20, static_cast<char>('A' + cycle % 26));
  char blake3[2][65];
  std::memset(blake3, '#', sizeof blake3);
  for (int32_t run = 0; run < 2; ++run) {
    const int32_t io = 5 + run;
    ASSERT_EQ(api.initialize(io, 0, 0, 0), 0);
    TelvarnVarDesc in = HostVar(large.data()), out = HostVar(blake3[run]);
    ASSERT_EQ(api.input_set(&in, io, TELVARN_MODE_MEMORY, static_cast<int32_t>(large.size())), 0);
    ASSERT_EQ(api.output_set(&out, io, TELVARN_MODE_MEMORY, 64), 0);
    ASSERT_EQ(api.digest(io, TELVARN_ALGORITHM_BLAKE3, run == 0 ? 0 : TELVARN_DIGEST_QUEUE, 3), 0);
  }
  ASSERT_TRUE(FreeLibrary(module));
  ASSERT_TRUE(AwaitModuleUnloaded(kModuleName)) << "cycle " << cycle;
  ASSERT_EQ(std::string(blake3[1], 65), std::string(blake3[0], 65)) << "cycle " << cycle << ", BLAKE3";
  ASSERT_EQ(blake3[0][64], '#');
  for (int io = 0; io < 5; ++io) {
    ASSERT_EQ(std::string(outputs[io], 8), ReferenceCrc32(inputs[io])) << "cycle " << cycle << ", IO " << io;
    ASSERT_EQ(outputs[io][8], '#');
  }
}

// The module leaves nothing behind across load/unload cycles in which jobs ran,
// were queued and were in flight at FreeLibrary (a BLAKE3 job with its helpers
// among them): no more private memory, handles or threads than a trivial DLL of
// the same toolchain costs. TELVARN_UNLOAD_CYCLES
// sets the count (40 here; scripts/reliability.sh runs 100).
TEST(UnloadCycles, LeaveNoMoreBehindThanATrivialDll) {
  ASSERT_FALSE(Loaded(kModuleName)) << "the module must not be loaded by anything else";
  int cycles = 40;
  if (const char* text = std::getenv("TELVARN_UNLOAD_CYCLES")) cycles = std::atoi(text);
  const Footprint trivial = CycleGrowth(&TrivialModuleCycle, cycles);
  if (HasFatalFailure()) return;
  const Footprint telvarn = CycleGrowth(&TelvarnCycle, cycles);
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
    ASSERT_TRUE(AwaitModuleUnloaded(kModuleName)) << "round " << round;
  }
}

}  // namespace
}  // namespace telvarn::test
