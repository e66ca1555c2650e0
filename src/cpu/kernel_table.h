// Run-time dispatch: a kernel's table of variants, what each variant needs of the processor, and the variant that runs here.
//
// A table lists its variants portable first, then in ascending order of the
// instruction sets they need. The active variant is the last one the processor
// supports, chosen once per process. Tests run every supported variant through
// the same checks; a context can also be built with a given variant. Each
// subsystem declares its own kernels' tables beside its code.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>

#include "cpu/cpu_features.h"

namespace telvarn {

template <class Fn>
struct KernelVariant {
  const char* name;
  Fn kernel;
  bool (*supported)(const CpuFeatures&);
  // Rows that differ from the row before them in tuning, not in instructions, say
  // where they are the faster one; elsewhere the dispatch passes them by, while the
  // tests still run them wherever the processor supports them.
  bool (*preferred)(const CpuFeatures&) = nullptr;
};

// Whether the dispatch takes `variant` over the rows before it on this processor.
template <class Fn>
bool ChosenOver(const KernelVariant<Fn>& variant, const CpuFeatures& cpu) {
  return variant.supported(cpu) && (variant.preferred == nullptr || variant.preferred(cpu));
}

// A table's name in test and bench reports, and its rows.
template <class Fn>
struct KernelTable {
  const char* name;
  const KernelVariant<Fn>* begin_;
  const KernelVariant<Fn>* end_;
  const KernelVariant<Fn>* begin() const { return begin_; }
  const KernelVariant<Fn>* end() const { return end_; }
};

template <class Fn, size_t N>
constexpr KernelTable<Fn> TableOf(const char* name, const KernelVariant<Fn> (&variants)[N]) {
  return KernelTable<Fn>{name, variants, variants + N};
}

// What each variant needs of the processor. A variant's predicate names every
// instruction set its file is compiled for.
inline bool Always(const CpuFeatures&) { return true; }
inline bool HasMmx(const CpuFeatures& cpu) { return cpu.mmx; }
inline bool HasSse2(const CpuFeatures& cpu) { return cpu.sse2; }
inline bool HasSsse3(const CpuFeatures& cpu) { return cpu.ssse3; }
inline bool HasAvx2(const CpuFeatures& cpu) { return cpu.avx2; }
inline bool HasAvx512(const CpuFeatures& cpu) { return cpu.avx512; }
inline bool HasAvx512Vbmi(const CpuFeatures& cpu) { return cpu.avx512 && cpu.avx512vbmi; }
inline bool HasPclmul(const CpuFeatures& cpu) { return cpu.pclmulqdq && cpu.sse41; }
inline bool HasSse42Pclmul(const CpuFeatures& cpu) { return cpu.sse42 && HasPclmul(cpu); }
inline bool HasVpclmulAvx2(const CpuFeatures& cpu) { return cpu.vpclmulqdq && cpu.avx2 && HasPclmul(cpu); }
inline bool HasVpclmulAvx512(const CpuFeatures& cpu) {
  return cpu.vpclmulqdq && cpu.avx512 && HasPclmul(cpu);
}
inline bool HasBmi1Bmi2(const CpuFeatures& cpu) { return cpu.bmi1 && cpu.bmi2; }
inline bool HasBmi2Avx2(const CpuFeatures& cpu) { return cpu.bmi2 && cpu.avx2; }
inline bool HasBmi2Avx512(const CpuFeatures& cpu) { return cpu.bmi2 && cpu.avx512; }
inline bool HasShaNi(const CpuFeatures& cpu) { return cpu.sha && cpu.ssse3 && cpu.sse41; }
inline bool IsAmdFamily1Ah(const CpuFeatures& cpu) { return cpu.amd_family_1ah; }

// Tables named as a type, for the tests and the bench that go over all of them.
template <const auto&... kTables>
struct TableList {};

// The tables of several lists in one list, in order.
template <class... Lists>
struct JoinTableListsOf;

template <const auto&... kTables>
struct JoinTableListsOf<TableList<kTables...>> {
  using type = TableList<kTables...>;
};

template <const auto&... kFirst, const auto&... kSecond, class... Rest>
struct JoinTableListsOf<TableList<kFirst...>, TableList<kSecond...>, Rest...> {
  using type = typename JoinTableListsOf<TableList<kFirst..., kSecond...>, Rest...>::type;
};

template <class... Lists>
using JoinTableLists = typename JoinTableListsOf<Lists...>::type;

// The variant this process runs from `kTable`: the first row (portable, always
// supported), overridden by each later row the processor supports and, where the
// row says so, prefers. Kept in a
// constant-initialised atomic, not a local static with a dynamic initialiser:
// that one's guard waits on a POSIX condition variable, which the module does
// not link (platform/win32/runtime_threads.cpp says why). Threads that choose at
// the same moment choose the same row. A choice made during static
// initialisation is the one made later: GetCpuFeatures probes at its first call,
// and the tables are constexpr, filled before any initialiser runs.
template <const auto& kTable>
const auto& Active() {
  using Row = std::remove_reference_t<decltype(*kTable.begin())>;
  static std::atomic<Row*> chosen{nullptr};
  Row* row = chosen.load(std::memory_order_acquire);
  if (row == nullptr) {
    row = kTable.begin();
    for (auto variant = kTable.begin(); variant != kTable.end(); ++variant) {
      if (ChosenOver(*variant, GetCpuFeatures())) row = variant;
    }
    chosen.store(row, std::memory_order_release);
  }
  return *row;
}

}  // namespace telvarn
