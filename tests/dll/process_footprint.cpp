// Measuring a process through the Win32 API, and the growth that load/unload cycles leave.
#include "dll/process_footprint.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"

namespace telvarn::test {
namespace {

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

}  // namespace

Footprint MeasureProcess(int64_t threads_at_most) {
  for (int i = 0; i < 200 && threads_at_most >= 0 && CountProcessThreads() > threads_at_most; ++i) Sleep(10);
  Footprint f;
  MeasureMemory(f);
  f.handle_types = CountProcessHandlesByType();
  for (const auto& [type, count] : f.handle_types) f.handles += count;
  f.threads = CountProcessThreads();
  return f;
}

Footprint CycleGrowth(const std::function<void(int)>& cycle, int cycles) {
  for (int i = 0; i < 3; ++i) {
    cycle(i);
    if (::testing::Test::HasFatalFailure()) return {};
  }
  const int64_t threads = CountProcessThreads();
  const Footprint before = MeasureProcess(threads);
  for (int i = 0; i < cycles; ++i) {
    cycle(i);
    if (::testing::Test::HasFatalFailure()) return {};
  }
  Footprint growth = MeasureProcess(threads);
  growth.private_bytes -= before.private_bytes;
  growth.address_space -= before.address_space;
  growth.handles -= before.handles;
  growth.threads -= before.threads;
  for (const auto& [type, count] : before.handle_types) growth.handle_types[type] -= count;
  return growth;
}

std::string DescribeHandleTypes(const Footprint& growth) {
  std::string text;
  for (const auto& [type, count] : growth.handle_types) {
    if (count == 0) continue;
    if (!text.empty()) text += ", ";
    text += type + (count > 0 ? " +" : " ") + std::to_string(count);
  }
  return text.empty() ? "none" : text;
}

bool AwaitModuleUnloaded(const char* name, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms && GetModuleHandleA(name) != nullptr; waited += 5) Sleep(5);
  return GetModuleHandleA(name) == nullptr;
}

void TrivialModuleCycle(int) {
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
  ASSERT_TRUE(AwaitModuleUnloaded(kTrivialModuleName));
}

}  // namespace telvarn::test
