// What the job suites share: reference CRCs, random messages, and a fixture with
// memory and file bindings and jobs held on a pipe the test controls.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "jobs/api.h"
#include "support/test_support.h"

namespace telvarn::test {

inline constexpr char kSentinel = '#';

// A second, bit-at-a-time implementation of each CRC to check the jobs against.
inline std::string ReferenceCrc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08X", crc ^ 0xFFFFFFFFu);
  return text;
}

inline std::string ReferenceCrc16(const std::string& bytes) {
  uint32_t crc = 0xFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x8408u : crc >> 1;
  }
  char text[5];
  std::snprintf(text, sizeof text, "%04X", crc);
  return text;
}

// IO_Wait shows a host no moment at which it has begun to wait: it pauses first
// (200 ms) and only then looks for the job, and a job that ends before that look
// leaves it nothing to wait on. A thread counts as waiting once this margin has
// passed since it was about to call, far beyond the pause and any delay in
// scheduling it on a loaded two-core machine.
inline constexpr std::chrono::seconds kWaitBeganMargin{2};

// Calls `wait` here and, once the wait has surely begun, `end_job` on a thread of
// its own; returns the wait's result. A wait that returns before `end_job` has
// been called fails the test.
template <class Wait, class EndJob>
int32_t WaitWhileTheJobEnds(Wait wait, EndJob end_job) {
  const auto calling = std::chrono::steady_clock::now();
  std::atomic<bool> ending{false};
  std::thread ender([&] {
    std::this_thread::sleep_until(calling + kWaitBeganMargin);
    ending = true;
    end_job();
  });
  const int32_t result = wait();
  EXPECT_TRUE(ending) << "the wait returned before its job could end";
  ender.join();
  return result;
}

// Whether this process has launched a job (before one, IO_WaitAll says busy).
inline std::atomic<bool> g_any_launch{false};

class JobTest : public ExportTest {
 protected:
  // Bound with its own length (an empty text with length 0, "up to the NUL").
  void BindMemoryInput(int32_t io, const std::string& bytes) {
    BindMemoryInputLength(io, bytes, static_cast<int32_t>(bytes.size()));
  }
  void BindMemoryInputLength(int32_t io, const std::string& bytes, int32_t length) {
    texts_.push_back(bytes);
    ASSERT_EQ(api.input_set(Var(texts_.back().c_str()), io, TELVARN_MODE_MEMORY, length), 0);
  }
  void BindFileInput(int32_t io, const std::string& path) {
    texts_.push_back(path);
    ASSERT_EQ(api.input_set(Var(texts_.back().c_str()), io, TELVARN_MODE_FILE, 0), 0);
  }
  void BindFileOutput(int32_t io, const std::string& path) {
    texts_.push_back(path);
    ASSERT_EQ(api.output_set(Var(texts_.back().c_str()), io, TELVARN_MODE_FILE, 0), 0);
  }
  // A buffer of sentinels with a NUL at its end, bound as memory output.
  char* BindMemoryOutput(int32_t io, int32_t length = 0, size_t room = 200) {
    buffers_.push_back(std::make_unique<char[]>(room + 1));
    char* buffer = buffers_.back().get();
    std::memset(buffer, kSentinel, room);
    buffer[room] = '\0';
    EXPECT_EQ(api.output_set(Var(buffer), io, TELVARN_MODE_MEMORY, length), 0);
    return buffer;
  }
  int32_t Crc32(int32_t io, int32_t async, int32_t priority = 3) {
    g_any_launch = true;
    return api.crc32(io, async, priority, 0);
  }
  // The states do not move away from `expected` for `ms` milliseconds.
  void ExpectStaysFor(const std::vector<int32_t>& ios, int32_t expected, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      for (int32_t io : ios) ASSERT_EQ(JobState(api, io), expected) << "IO " << io;
    } while (std::chrono::steady_clock::now() < until);
  }
  // A job on a held input, launched asynchronously: CRC-32 unless `run` names
  // another job export. Its output goes to memory, or to the file `output_file`
  // (`output` is then nullptr).
  struct HeldJob {
    int32_t io;
    std::unique_ptr<HeldInput> input;
    char* output;
    bool crc32;
  };
  HeldJob LaunchHeld(int32_t priority, const std::string& output_file = "",
                     HeldInput::Reads reads = HeldInput::Reads::kUnobserved, JobExport run = nullptr) {
    HeldJob job{NewIo(), std::make_unique<HeldInput>(reads), nullptr, run == nullptr || run == api.crc32};
    BindFileInput(job.io, job.input->name());
    if (output_file.empty()) {
      job.output = BindMemoryOutput(job.io);
    } else {
      BindFileOutput(job.io, output_file);
    }
    g_any_launch = true;
    EXPECT_EQ((run == nullptr ? api.crc32 : run)(job.io, TELVARN_QUEUE, priority, 0), 0);
    return job;
  }
  // Releases the job's input and waits for its end; a CRC-32 job's result is checked.
  void Finish(HeldJob& job, const std::string& bytes = "held") {
    job.input->Release(bytes);
    ASSERT_TRUE(Reaches(api, job.io, TELVARN_JOB_FINISHED));
    if (job.output != nullptr && job.crc32) {
      EXPECT_EQ(std::string(job.output, 8), ReferenceCrc32(bytes));
    }
  }

  TempDir dir_;

 private:
  std::deque<std::string> texts_;
  std::vector<std::unique_ptr<char[]>> buffers_;
};

}  // namespace telvarn::test
