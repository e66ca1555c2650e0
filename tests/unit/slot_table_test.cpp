// The slot table: lookup, growth, stable records, registration from several threads, destruction.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <thread>
#include <vector>

#include "boundary/bindings.h"
#include "slot_table/slot_table.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

// Growth past the first room, many times over, keeps every IO with its own
// record at its own address; a second registration finds the first record.
TEST(SlotTable, EveryIoKeepsItsOwnRecordAcrossGrowth) {
  SlotTable table;
  std::vector<IoSlot*> records;
  for (int32_t io = 100; io < 100 + 1000; ++io) {
    records.push_back(table.find_or_register(io));
    ASSERT_NE(records.back(), nullptr);
    records.back()->key_area[0] = static_cast<uint8_t>(io);
  }
  for (int32_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(table.find(100 + i), records[i]) << i;
    ASSERT_EQ(table.find_or_register(100 + i), records[i]) << "registered once";
    ASSERT_EQ(records[i]->key_area[0], static_cast<uint8_t>(100 + i));
  }
  EXPECT_EQ(table.find(99), nullptr);
  EXPECT_EQ(table.find(1100), nullptr);
}

TEST(SlotTable, EveryIoNumberIsOrdinary) {
  SlotTable table;
  EXPECT_EQ(table.find(-1), nullptr) << "unused entries must never match";
  std::vector<IoSlot*> records;
  for (int32_t io : {0, -1, -7, INT32_MIN, INT32_MAX}) {
    IoSlot* slot = table.find_or_register(io);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(table.find(io), slot);
    for (IoSlot* other : records) EXPECT_NE(other, slot);
    records.push_back(slot);
  }
}

// Host threads registering and finding IOs at once lose no registration and never
// share a record.
TEST(SlotTable, RegistrationFromSeveralThreadsAtOnce) {
  SlotTable table;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::vector<std::vector<IoSlot*>> found(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        // Every thread registers the shared numbers 0..kPerThread too.
        found[t].push_back(table.find_or_register(t * 10000 + 10000 + i));
        table.find_or_register(i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<IoSlot*> distinct;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; ++i) {
      ASSERT_NE(found[t][i], nullptr);
      ASSERT_EQ(table.find(t * 10000 + 10000 + i), found[t][i]);
      distinct.insert(found[t][i]);
    }
  }
  for (int i = 0; i < kPerThread; ++i) {
    IoSlot* shared = table.find(i);
    ASSERT_NE(shared, nullptr);
    distinct.insert(shared);
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread + kPerThread));
}

TEST(SlotTable, NewRecordIsIdleUnboundWithAClearedKeyArea) {
  SlotTable table;
  IoSlot* slot = table.find_or_register(1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->job_state.load(), TELVARN_JOB_IDLE);
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
    ASSERT_EQ(BindStream(slot, Direction::kInput, in_var, TELVARN_MODE_FILE, 0), 0);
    ASSERT_EQ(BindStream(slot, Direction::kOutput, out_var, TELVARN_MODE_FILE, 0), 0);
    EXPECT_TRUE(test::IsFileOpenHere(in));
    EXPECT_TRUE(test::IsFileOpenHere(out));
  }
  EXPECT_FALSE(test::IsFileOpenHere(in));
  EXPECT_FALSE(test::IsFileOpenHere(out));
}

}  // namespace
}  // namespace telvarn
