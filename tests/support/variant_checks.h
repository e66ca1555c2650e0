// The check that a variant table runs what its dispatch promises, shared by every table's test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cpu/kernel_table.h"

namespace telvarn::test {

// What every caller of a table runs: a variant the processor supports, and no
// row after it that the processor also supports and the row does not pass by here
// (KernelVariant::preferred).
template <const auto& kTable>
void ExpectActiveIsLastSupported() {
  const auto& active = Active<kTable>();
  SCOPED_TRACE(std::string(kTable.name) + " runs " + active.name);
  EXPECT_TRUE(active.supported(GetCpuFeatures()));
  bool after_active = false;
  for (const auto& variant : kTable) {
    if (after_active) {
      EXPECT_FALSE(ChosenOver(variant, GetCpuFeatures())) << variant.name << " is skipped";
    }
    if (&variant == &active) after_active = true;
  }
  EXPECT_TRUE(after_active) << "the active variant is a row of its table";
}

template <const auto&... kTables>
void ExpectEveryActiveIsLastSupported(TableList<kTables...>) {
  (ExpectActiveIsLastSupported<kTables>(), ...);
}

// The first row runs on a processor that has none of the instruction sets: it is
// what such a processor runs, and the reference the other rows are checked against.
template <const auto& kTable>
void ExpectStartsPortable() {
  ASSERT_NE(kTable.begin(), kTable.end()) << kTable.name << " has no rows";
  EXPECT_TRUE(kTable.begin()->supported(CpuFeatures{})) << kTable.name << " starts with " << kTable.begin()->name;
}

template <const auto&... kTables>
void ExpectEveryTableStartsPortable(TableList<kTables...>) {
  (ExpectStartsPortable<kTables>(), ...);
}

}  // namespace telvarn::test
