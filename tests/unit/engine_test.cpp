// The engine's parts on their own: the run queue's order across levels and growth,
// the thread a launched job runs on, the worker frame's chunked reading, and a
// job's commit of its result into bound memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "boundary/bindings.h"
#include "digest/worker_frame.h"
#include "engine/job_launcher.h"
#include "engine/job.h"
#include "engine/module.h"
#include "engine/run_queue.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using platform::Os;

// A job nobody asks to hold or stop.
const std::atomic<bool> kNoAttention{false};

// Jobs as the scheduler queues them, each at its own level; nothing runs them.
class QueuedJobs {
 public:
  Job* make(int32_t level) {
    static const JobKind kNeverRun{nullptr, false};
    made_.push_back(std::make_unique<Job>(kNeverRun, *table_.find_or_register(1), level));
    return made_.back().get();
  }
  Job* operator[](size_t order) const { return made_.at(order).get(); }
  // The order the job was made in; -1 for none.
  int index(const Job* job) const {
    for (size_t order = 0; order < made_.size(); ++order) {
      if (made_[order].get() == job) return static_cast<int>(order);
    }
    return -1;
  }

 private:
  SlotTable table_;
  std::vector<std::unique_ptr<Job>> made_;
};

TEST(RunQueue, ARingGrowsPastItsFirstRoomAndNeverLosesAJob) {
  QueuedJobs jobs;
  RunQueue queue;
  const int count = RunQueue::kInitialRingCapacity + 1;
  for (int i = 0; i < count; ++i) ASSERT_TRUE(queue.push(jobs.make(3), 3));
  for (int i = 0; i < count; ++i) ASSERT_EQ(jobs.index(queue.take_next()), i);
  EXPECT_TRUE(queue.empty());
}

TEST(RunQueue, GrowthKeepsQueueOrderWhenTheRingHasWrapped) {
  QueuedJobs jobs;
  RunQueue queue;
  int taken = 0;
  for (int i = 0; i < 100; ++i) queue.push(jobs.make(5), 5);
  for (; taken < 90; ++taken) ASSERT_EQ(jobs.index(queue.take_next()), taken);
  for (int i = 0; i < 300; ++i) queue.push(jobs.make(5), 5);
  for (; taken < 400; ++taken) ASSERT_EQ(jobs.index(queue.take_next()), taken);
  EXPECT_TRUE(queue.ordinary_empty());
}

TEST(RunQueue, TakesTheLowestLevelFirstAndTellsTheImmediateLevelApart) {
  QueuedJobs jobs;
  RunQueue queue;
  EXPECT_TRUE(queue.immediate_empty());
  EXPECT_TRUE(queue.ordinary_empty());
  for (int32_t level : {5, 2, 2, 0}) queue.push(jobs.make(level), level);
  EXPECT_FALSE(queue.immediate_empty());
  EXPECT_EQ(jobs.index(queue.take_immediate()), 3);
  EXPECT_TRUE(queue.immediate_empty());
  EXPECT_FALSE(queue.ordinary_empty());
  EXPECT_EQ(jobs.index(queue.take_next()), 1);
  EXPECT_EQ(jobs.index(queue.take_next()), 2);
  queue.push(jobs.make(0), 0);
  EXPECT_EQ(jobs.index(queue.take_next()), 4) << "take_next looks at level 0 too";
  EXPECT_EQ(jobs.index(queue.take_next()), 0);
  EXPECT_EQ(queue.take_next(), nullptr);
  EXPECT_FALSE(queue.push(jobs.make(6), 6));
  EXPECT_FALSE(queue.push(jobs.make(-1), -1));
  EXPECT_TRUE(queue.empty());
}

// A job whose thread could not be made goes back to the head of its level, and a
// withdrawn job leaves the queue from wherever it stands, also across growth and
// a wrapped ring.
TEST(RunQueue, PushFrontAndRemoveKeepTheOrderOfTheRest) {
  QueuedJobs jobs;
  RunQueue queue;
  for (int i = 0; i < 120; ++i) queue.push(jobs.make(4), 4);
  for (int i = 0; i < 100; ++i) queue.take_next();
  for (int i = 0; i < 200; ++i) queue.push(jobs.make(4), 4);
  EXPECT_TRUE(queue.remove(jobs[149], 4));
  EXPECT_FALSE(queue.remove(jobs[149], 4)) << "removed once";
  EXPECT_FALSE(queue.remove(jobs[100], 3)) << "another level";
  EXPECT_TRUE(queue.remove(jobs[319], 4)) << "the newest";
  Job* head = queue.take_next();
  EXPECT_EQ(jobs.index(head), 100);
  EXPECT_TRUE(queue.push_front(head, 4));
  for (int expected = 100; expected < 319; ++expected) {
    if (expected == 149) continue;
    ASSERT_EQ(jobs.index(queue.take_next()), expected);
  }
  EXPECT_TRUE(queue.empty());
}

std::atomic<bool> g_job_ran_elsewhere{false};
std::thread::id g_launching_thread;

void RecordingRun(Job& job) {
  g_job_ran_elsewhere = std::this_thread::get_id() != g_launching_thread;
  StartJob(job);
  EndJob(job);
}

// A synchronous job runs on the calling thread (no thread of its own to make and
// wait for); an asynchronous one on a thread the scheduler made, never on the caller's.
TEST(JobLauncher, ASynchronousJobRunsOnTheCallingThread) {
  static const JobKind kRecording{&RecordingRun, false};
  const int32_t io = 0x5E11;
  IoSlot* slot = module::slot_table().find_or_register(io);
  ASSERT_NE(slot, nullptr);
  g_launching_thread = std::this_thread::get_id();
  g_job_ran_elsewhere = true;
  ASSERT_EQ(LaunchJob(io, /*async_flag=*/0, 3, kRecording), 0);
  EXPECT_FALSE(g_job_ran_elsewhere);
  EXPECT_EQ(slot->job_state.load(), TELVARN_JOB_FINISHED);
  EXPECT_EQ(slot->job_thread_id, 0u);

  ASSERT_EQ(LaunchJob(io, /*async_flag=*/1, 1, kRecording), 0);
  for (int i = 0; i < 2000 && slot->job_state.load() != TELVARN_JOB_FINISHED; ++i) Os::sleep_ms(10);
  EXPECT_EQ(slot->job_state.load(), TELVARN_JOB_FINISHED);
  EXPECT_TRUE(g_job_ran_elsewhere);
}

TEST(WorkerFrame, ReadsMemoryInSpansAndFilesUntilTheirEnd) {
  SlotTable table;
  IoSlot& slot = *table.find_or_register(1);
  std::string bytes(kSpanBytes + 1025, 'm');
  VarDesc var{};
  var.data = bytes.data();
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, 0, static_cast<int32_t>(bytes.size())), 0);
  const uint8_t* span = nullptr;
  platform::Os::BlockingIo io;
  SpanReader memory(slot.input, -1, 1024, kSpanBytes, io, kNoAttention);
  EXPECT_EQ(memory.ReadSpan(slot.input, &span), static_cast<int32_t>(kSpanBytes));
  EXPECT_EQ(memory.ReadSpan(slot.input, &span), 1025);
  EXPECT_EQ(span, reinterpret_cast<const uint8_t*>(bytes.data()) + kSpanBytes);
  EXPECT_EQ(memory.ReadSpan(slot.input, &span), 0);
  EXPECT_EQ(slot.input.pos, static_cast<int32_t>(bytes.size()));

  test::TempDir dir;
  const std::string path = dir.path("exact.bin");
  test::WriteFile(path, std::string(4096, 'f'));
  var.data = const_cast<char*>(path.c_str());
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, TELVARN_MODE_FILE, 0), 0);
  SpanReader exact(slot.input, 4096, 4096, kSpanBytes, io, kNoAttention);
  EXPECT_EQ(exact.ReadSpan(slot.input, &span), 4096);
  EXPECT_EQ(exact.ReadSpan(slot.input, &span), 0);

  // Past 2^31 bytes the consumed count saturates rather than wrapping.
  ASSERT_EQ(BindStream(slot, Direction::kInput, var, TELVARN_MODE_FILE, 0), 0);
  slot.input.pos = INT32_MAX - 10;
  SpanReader saturating(slot.input, 4096, 4096, kSpanBytes, io, kNoAttention);
  EXPECT_EQ(saturating.ReadSpan(slot.input, &span), 4096);
  EXPECT_EQ(slot.input.pos, INT32_MAX);
  EXPECT_FALSE(saturating.failed());
  CloseStream(slot.input);
}

// A regular file is read in large blocks, a block ahead when it is large, and cut
// into spans of whole chunks: the bytes of chunk-by-chunk reading, in order, every
// span a full one but the file's last, also when the file ends on a block
// boundary.
TEST(WorkerFrame, ReadAheadCutsSpansOfWholeChunks) {
  const size_t block = FileBlocks::kBlockBytes;
  const struct {
    size_t size;
    uint32_t chunk;
  } cases[] = {{3 * block + 1500, 1024},
               {block, 4096},
               {2 * block + 4096, 4096},
               {1500, 1024},
               {kSpanBytes - 1, 4096},
               {kSpanBytes + 1, 1024},
               // Large enough to be read a block ahead on the reader thread.
               {static_cast<size_t>(FileBlocks::kReadAheadBytes) + 2 * block + 777, 4096},
               {static_cast<size_t>(FileBlocks::kReadAheadBytes), 1024}};
  SlotTable table;
  IoSlot& slot = *table.find_or_register(1);
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes in chunks of " << c.chunk);
    const std::string path = dir.path("long.bin");
    std::string bytes(c.size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    test::WriteFile(path, bytes);
    VarDesc var{};
    var.data = const_cast<char*>(path.c_str());
    ASSERT_EQ(BindStream(slot, Direction::kInput, var, TELVARN_MODE_FILE, 0), 0);
    std::string seen;
    platform::Os::BlockingIo io;
    SpanReader reader(slot.input, static_cast<int64_t>(c.size), c.chunk, kSpanBytes, io, kNoAttention);
    const uint8_t* span = nullptr;
    for (int32_t count; (count = reader.ReadSpan(slot.input, &span)) > 0;) {
      const size_t expected = std::min<size_t>(kSpanBytes, bytes.size() - seen.size());
      ASSERT_EQ(static_cast<size_t>(count), expected) << "after " << seen.size();
      seen.append(reinterpret_cast<const char*>(span), static_cast<size_t>(count));
      ASSERT_EQ(slot.input.pos, static_cast<int32_t>(seen.size()));
    }
    EXPECT_EQ(reader.ReadSpan(slot.input, &span), 0);
    EXPECT_TRUE(seen == bytes);
    EXPECT_FALSE(reader.failed());
    CloseStream(slot.input);
  }
}

// A pipe is read as its writer's bytes come: whatever whole chunks a read brought
// are one span, a chunk split across reads is gathered first. The first read
// takes a chunk and 476 bytes alone (all the pipe holds; the writer goes on only
// once that chunk is out): every span must still be whole chunks but the last,
// and the bytes the writer's. Spans larger than a read (a file block) are gathered
// from many reads until full, except that a job asked to hold or stop (attention)
// takes its first whole chunk without waiting for the rest of the span.
TEST(WorkerFrame, APipeIsCutIntoSpansOfWholeChunks) {
  constexpr uint32_t kBlock = FileBlocks::kBlockBytes;
  const struct {
    uint32_t span;
    bool attention;
    std::vector<size_t> sizes;
  } cases[] = {{kSpanBytes, false, {1023, 4097, kSpanBytes - 1, kSpanBytes + 1, 200003}},
               {kBlock, false, {4097, kBlock - 1, kBlock + 1, 3 * size_t{kBlock} + 517}},
               {kBlock, true, {kBlock + 1}}};
  std::mt19937 random(1024);
  SlotTable table;
  IoSlot& slot = *table.find_or_register(1);
  for (const auto& c : cases) {
    for (const uint32_t chunk : {1024u, 4096u}) {
      for (const size_t size : c.sizes) {
        SCOPED_TRACE(testing::Message() << size << " bytes in chunks of " << chunk << ", spans of " << c.span
                                        << (c.attention ? ", asked to hold" : ""));
        const std::string bytes = test::RandomString(random, size);
        test::HeldInput held;
        VarDesc var{};
        var.data = const_cast<char*>(held.name().c_str());
        ASSERT_EQ(BindStream(slot, Direction::kInput, var, TELVARN_MODE_FILE, 0), 0);
        const size_t first = std::min<size_t>(chunk + 476, size);
        if (first == size) {
          held.Release(bytes);
        } else {
          held.Feed(bytes.substr(0, first));
        }
        platform::Os::BlockingIo io;
        std::atomic<bool> attention{c.attention};
        SpanReader reader(slot.input, -1, chunk, c.span, io, attention);
        std::string seen;
        const uint8_t* span = nullptr;
        std::thread writer;
        // A span gathered from many reads needs the writer going before it is complete.
        const bool write_at_once = c.span > kSpanBytes && !c.attention;
        if (first < size && write_at_once) writer = std::thread([&] { held.Release(bytes.substr(first)); });
        for (int32_t count; (count = reader.ReadSpan(slot.input, &span)) > 0;) {
          if (first < size && !writer.joinable()) writer = std::thread([&] { held.Release(bytes.substr(first)); });
          if (seen.empty() && c.attention) {
            EXPECT_EQ(count, static_cast<int32_t>(chunk)) << "a held job waits for no more than a whole chunk";
            attention = false;
          } else if (seen.size() + static_cast<size_t>(count) < size) {
            if (c.span > kSpanBytes && count != static_cast<int32_t>(c.span)) {
              EXPECT_LT(size - seen.size() - static_cast<size_t>(count), chunk) << "a span cut short before the end";
            } else {
              EXPECT_EQ(count % static_cast<int32_t>(chunk), 0) << "after " << seen.size();
            }
          }
          EXPECT_LE(static_cast<size_t>(count), c.span);
          seen.append(reinterpret_cast<const char*>(span), static_cast<size_t>(count));
        }
        if (writer.joinable()) writer.join();
        EXPECT_TRUE(seen == bytes);
        EXPECT_EQ(slot.input.pos, static_cast<int32_t>(size));
        EXPECT_FALSE(reader.failed());
        CloseStream(slot.input);
      }
    }
  }
}

TEST(WorkerFrame, DeliveryRespectsAnExplicitMemoryLength) {
  static const JobKind kNothing{nullptr, false};
  SlotTable table;
  IoSlot& slot = *table.find_or_register(1);
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  VarDesc var{};
  var.data = buffer;
  ASSERT_EQ(BindStream(slot, Direction::kOutput, var, 0, 5), 0);
  Job job(kNothing, slot, 3);
  job.output = slot.output;
  EXPECT_FALSE(CommitResult(job, "0123456789", 8)) << "a memory result is written at commit";
  EXPECT_EQ(std::string(buffer, 8), "01234###");
  EXPECT_EQ(job.output.pos, 5);
  EXPECT_FALSE(CommitResult(job, "0123456789", 8));
  EXPECT_EQ(std::string(buffer, 8), "01234###") << "no room left";
}

}  // namespace
}  // namespace telvarn
