// The slot table: lookup, growth by doubling, stable records, destruction of records.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "boundary/bindings.h"
#include "boundary/slot_table.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

TEST(SlotTable, GrowsByDoublingAndKeepsEveryRecordInPlace) {
  SlotTable table;
  EXPECT_EQ(table.capacity(), 8);
  std::vector<IoSlot*> records;
  for (int32_t io = 100; io < 117; ++io) {
    records.push_back(table.find_or_register(io));
    ASSERT_NE(records.back(), nullptr);
    if (io == 107) {
      EXPECT_EQ(table.capacity(), 8);
    } else if (io == 108) {
      EXPECT_EQ(table.capacity(), 16) << "the ninth registration doubles the capacity";
    }
  }
  EXPECT_EQ(table.count(), 17);
  EXPECT_EQ(table.capacity(), 32);
  for (int32_t i = 0; i < 17; ++i) EXPECT_EQ(table.find(100 + i), records[i]) << i;
  EXPECT_EQ(table.find(99), nullptr);
  EXPECT_EQ(table.find(117), nullptr);
}

TEST(SlotTable, EveryIoNumberIsOrdinary) {
  SlotTable table;
  EXPECT_EQ(table.find(-1), nullptr) << "unused entries hold -1 and must never match";
  for (int32_t io : {0, -1, -7, INT32_MIN, INT32_MAX}) {
    IoSlot* slot = table.find_or_register(io);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(table.find(io), slot);
  }
  EXPECT_EQ(table.count(), 5);
}

TEST(SlotTable, NewRecordIsIdleUnboundWithAClearedKeyArea) {
  SlotTable table;
  IoSlot* slot = table.find_or_register(1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->job_state.load(), kJobIdle);
  EXPECT_FALSE(slot->input.bound);
  EXPECT_FALSE(slot->output.bound);
  EXPECT_EQ(slot->input.file, nullptr);
  for (uint8_t byte : slot->key_area) ASSERT_EQ(byte, 0);
}

TEST(SlotTable, DestructionClosesEveryBoundFile) {
  test::TempDir dir;
  const std::string in = dir.path("in.bin"), out = dir.path("out.txt");
  test::WriteFile(in, "0123456789");
  {
    SlotTable table;
    for (int32_t io = 0; io < 5; ++io) ASSERT_NE(table.find_or_register(io), nullptr);
    IoSlot& slot = *table.find(3);
    VarDesc in_var{}, out_var{};
    in_var.data = const_cast<char*>(in.c_str());
    out_var.data = const_cast<char*>(out.c_str());
    ASSERT_EQ(BindStream(slot, Direction::kInput, in_var, kModeFile, 0), 0);
    ASSERT_EQ(BindStream(slot, Direction::kOutput, out_var, kModeFile, 0), 0);
    EXPECT_TRUE(test::IsFileOpenHere(in));
    EXPECT_TRUE(test::IsFileOpenHere(out));
  }
  EXPECT_FALSE(test::IsFileOpenHere(in));
  EXPECT_FALSE(test::IsFileOpenHere(out));
}

}  // namespace
}  // namespace telvarn
