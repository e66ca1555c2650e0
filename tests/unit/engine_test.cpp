// The engine's parts on their own: run queue rings, priority levels, the worker
// frame's reading and delivery, and stopping the scheduler.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>

#include "boundary/bindings.h"
#include "digest/worker_frame.h"
#include "engine/job_launcher.h"
#include "engine/job_scheduler.h"
#include "engine/module.h"
#include "engine/run_queue.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using platform::Os;
using platform::ThreadHandle;

ThreadHandle FakeHandle(uintptr_t n) { return reinterpret_cast<ThreadHandle>(n); }
uintptr_t Number(ThreadHandle h) { return reinterpret_cast<uintptr_t>(h); }

TEST(RunQueue, ARingGrowsByDoublingAndNeverLosesAHandle) {
  RunQueue queue;
  EXPECT_EQ(queue.ring_capacity(3), 128u);
  for (uintptr_t i = 1; i <= 129; ++i) {
    ASSERT_TRUE(queue.push(FakeHandle(i), 3));
    if (i == 127) {
      EXPECT_EQ(queue.ring_capacity(3), 128u);
    }
  }
  EXPECT_EQ(queue.ring_capacity(3), 256u) << "the 128th handle doubles the ring";
  for (uintptr_t i = 1; i <= 129; ++i) ASSERT_EQ(Number(queue.take_next()), i);
  EXPECT_TRUE(queue.empty());
}

TEST(RunQueue, GrowthKeepsQueueOrderWhenTheRingHasWrapped) {
  RunQueue queue;
  uintptr_t pushed = 0, taken = 0;
  for (int i = 0; i < 100; ++i) queue.push(FakeHandle(++pushed), 5);
  for (int i = 0; i < 90; ++i) ASSERT_EQ(Number(queue.take_next()), ++taken);
  for (int i = 0; i < 300; ++i) queue.push(FakeHandle(++pushed), 5);
  EXPECT_EQ(queue.ring_capacity(5), 512u);
  while (taken < pushed) ASSERT_EQ(Number(queue.take_next()), ++taken);
  EXPECT_TRUE(queue.ordered_empty());
}

TEST(RunQueue, TakesTheLowestLevelFirstAndTellsTheImmediateLevelApart) {
  RunQueue queue;
  EXPECT_TRUE(queue.immediate_empty());
  EXPECT_TRUE(queue.ordered_empty());
  queue.push(FakeHandle(50), 5);
  queue.push(FakeHandle(20), 2);
  queue.push(FakeHandle(21), 2);
  queue.push(FakeHandle(1), 0);
  EXPECT_FALSE(queue.immediate_empty());
  EXPECT_EQ(Number(queue.take_immediate()), 1u);
  EXPECT_TRUE(queue.immediate_empty());
  EXPECT_FALSE(queue.ordered_empty());
  EXPECT_EQ(Number(queue.take_next()), 20u);
  EXPECT_EQ(Number(queue.take_next()), 21u);
  queue.push(FakeHandle(2), 0);
  EXPECT_EQ(Number(queue.take_next()), 2u) << "take_next looks at level 0 too";
  EXPECT_EQ(Number(queue.take_next()), 50u);
  EXPECT_EQ(queue.take_next(), nullptr);
  EXPECT_FALSE(queue.push(FakeHandle(9), 6));
  EXPECT_FALSE(queue.push(FakeHandle(9), -1));
  EXPECT_TRUE(queue.empty());
}

std::thread::id g_job_ran_on;
platform::Os::Event g_worker_ran;

uint32_t TELVARN_STDCALL RecordingWorker(void* slot) {
  g_job_ran_on = std::this_thread::get_id();
  static_cast<IoSlot*>(slot)->job_state.store(kJobFinished);
  g_worker_ran.set();
  platform::Os::unpin_module();
  return 0;
}

void RecordingRunHere(IoSlot& slot) {
  g_job_ran_on = std::this_thread::get_id();
  slot.job_state.store(kJobFinished);
}

// A synchronous job runs on the calling thread (no thread of its own to make and
// wait for); an asynchronous one on its worker thread, never on the caller's.
TEST(JobLauncher, ASynchronousJobRunsOnTheCallingThread) {
  const JobRoutines job{&RecordingWorker, &RecordingRunHere};
  const int32_t io = 0x5E11;
  if (module::slot_table().find(io) == nullptr) {
    ASSERT_NE(module::slot_table().register_io(io), nullptr);
  }
  ASSERT_EQ(LaunchJob(io, /*async_flag=*/0, 3, job), 0);
  EXPECT_EQ(g_job_ran_on, std::this_thread::get_id());
  EXPECT_EQ(module::slot_table().find(io)->job_state.load(), kJobFinished);
  EXPECT_EQ(module::slot_table().find(io)->job_thread, nullptr);

  ASSERT_EQ(LaunchJob(io, /*async_flag=*/1, 1, job), 0);
  ASSERT_TRUE(g_worker_ran.wait(10000));
  EXPECT_NE(g_job_ran_on, std::this_thread::get_id());
}

TEST(JobLauncher, PrioritiesMapToQueueLevels) {
  for (int32_t p = 1; p <= 6; ++p) EXPECT_EQ(QueueLevelForPriority(p), p - 1);
  for (int32_t p : {0, 7, -5, INT32_MIN, INT32_MAX}) EXPECT_EQ(QueueLevelForPriority(p), 3) << p;
}

TEST(WorkerFrame, ReadsMemoryInChunksAndFilesUntilTheirEnd) {
  SlotTable table;
  IoSlot& slot = *table.register_io(1);
  std::string bytes(1025, 'm');
  VarDesc var{};
  var.data = bytes.data();
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, 0, 1025), 0);
  const uint8_t* chunk = nullptr;
  ChunkReader memory(1024);
  EXPECT_EQ(memory.ReadChunk(slot, &chunk), 1024);
  EXPECT_EQ(memory.ReadChunk(slot, &chunk), 1);
  EXPECT_EQ(chunk, reinterpret_cast<const uint8_t*>(bytes.data()) + 1024);
  EXPECT_EQ(memory.ReadChunk(slot, &chunk), 0);
  EXPECT_EQ(slot.input.pos, 1025);

  test::TempDir dir;
  const std::string path = dir.path("exact.bin");
  test::WriteFile(path, std::string(4096, 'f'));
  var.data = const_cast<char*>(path.c_str());
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, kModeFile, 0), 0);
  ChunkReader exact(4096);
  EXPECT_EQ(exact.ReadChunk(slot, &chunk), 4096);
  EXPECT_EQ(exact.ReadChunk(slot, &chunk), 0);

  // Past 2^31 bytes the consumed count saturates rather than wrapping.
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, kModeFile, 0), 0);
  slot.input.pos = INT32_MAX - 10;
  ChunkReader saturating(4096);
  EXPECT_EQ(saturating.ReadChunk(slot, &chunk), 4096);
  EXPECT_EQ(slot.input.pos, INT32_MAX);
  CloseJob(slot);
  EXPECT_FALSE(test::IsFileOpenHere(path));
  EXPECT_EQ(slot.job_state.load(), kJobFinished);
}

// A regular file is read ahead in large blocks, but the chunks cut from them are
// those of chunk-by-chunk reading: same sizes, same bytes, same positions, also
// when the file ends on a block boundary.
TEST(WorkerFrame, ReadAheadCutsTheChunksOfChunkByChunkReading) {
  const size_t block = ChunkReader::kBlockBytes;
  const struct {
    size_t size;
    uint32_t chunk;
  } cases[] = {{3 * block + 1500, 1024}, {block, 4096}, {2 * block + 4096, 4096}, {1500, 1024}};
  SlotTable table;
  IoSlot& slot = *table.register_io(1);
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes in chunks of " << c.chunk);
    const std::string path = dir.path("long.bin");
    std::string bytes(c.size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    test::WriteFile(path, bytes);
    VarDesc var{};
    var.data = const_cast<char*>(path.c_str());
    ASSERT_EQ(BindStream(slot, Direction::kInput, var, kModeFile, 0), 0);
    std::string seen;
    ChunkReader reader(c.chunk);
    const uint8_t* chunk = nullptr;
    for (int32_t count; (count = reader.ReadChunk(slot, &chunk)) > 0;) {
      const size_t expected = std::min<size_t>(c.chunk, bytes.size() - seen.size());
      ASSERT_EQ(static_cast<size_t>(count), expected) << "after " << seen.size();
      seen.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(count));
      ASSERT_EQ(slot.input.pos, static_cast<int32_t>(seen.size()));
    }
    EXPECT_EQ(reader.ReadChunk(slot, &chunk), 0);
    EXPECT_TRUE(seen == bytes);
    CloseJob(slot);
  }
}

TEST(WorkerFrame, DeliveryRespectsAnExplicitMemoryLength) {
  SlotTable table;
  IoSlot& slot = *table.register_io(1);
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  VarDesc var{};
  var.data = buffer;
  ASSERT_EQ(BindStream(slot, Direction::kOutput, var, 0, 5), 0);
  DeliverResult(slot, "0123456789", 8);
  EXPECT_EQ(std::string(buffer, 8), "01234###");
  EXPECT_EQ(slot.output.pos, 5);
  DeliverResult(slot, "0123456789", 8);
  EXPECT_EQ(std::string(buffer, 8), "01234###") << "no room left";
}

// A worker stand-in that holds until its gate opens and says when it has run.
struct HeldWorker {
  Os::Event gate;
  Os::Event done;
  static uint32_t TELVARN_STDCALL Run(void* arg) {
    auto* self = static_cast<HeldWorker*>(arg);
    self->gate.wait(platform::kInfinite);
    self->done.set();
    return 0;
  }
};

TEST(JobScheduler, StopIsQuickWhetherIdleOrBusy) {
  for (bool busy : {false, true}) {
    HeldWorker worker;
    auto scheduler = std::make_unique<JobScheduler>();
    ASSERT_TRUE(scheduler->start());
    if (busy) {
      ThreadHandle thread = Os::create_thread(&HeldWorker::Run, &worker, true, nullptr);
      ASSERT_TRUE(scheduler->enqueue(thread, 0));
    }
    Os::sleep_ms(300);
    auto start = std::chrono::steady_clock::now();
    scheduler.reset();
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500)) << (busy ? "busy" : "idle");
    worker.gate.set();
    if (busy) {
      EXPECT_TRUE(worker.done.wait(20000)) << "the held worker still runs to its end";
    }
  }
}

}  // namespace
}  // namespace telvarn
