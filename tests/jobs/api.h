// The exports under test, as function pointers: linked into the test program, or
// taken from the module with GetProcAddress, so that one suite runs against both.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "slot_table/var_desc.h"
#include "module_binding/module_binding.h"
#include "support/test_support.h"

namespace telvarn::test {

using Api = ModuleExports;

// A job as a host launches it: through its own export (api.sha256), or through the
// Digest export with an algorithm number, keyed or not. Called as a job export is,
// (io, async, priority, unused): a non-zero `async` queues the job.
class JobExport {
 public:
  using Export = decltype(ModuleExports::crc32);
  // Implicit, so that an export or nullptr stands wherever a job is expected.
  JobExport(Export job) : job_(job) {}
  JobExport(std::nullptr_t) {}
  JobExport(decltype(ModuleExports::digest) digest, int32_t algorithm, bool keyed)
      : digest_(digest), algorithm_(algorithm), keyed_(keyed) {}

  int32_t operator()(int32_t io, int32_t async, int32_t priority, int32_t unused) const {
    if (digest_ == nullptr) return job_(io, async, priority, unused);
    const int32_t flags = (async != 0 ? TELVARN_DIGEST_QUEUE : 0) | (keyed_ ? TELVARN_DIGEST_KEYED : 0);
    return digest_(io, algorithm_, flags, priority);
  }
  bool operator==(std::nullptr_t) const { return job_ == nullptr && digest_ == nullptr; }
  bool operator==(Export job) const { return digest_ == nullptr && job_ == job; }

 private:
  Export job_ = nullptr;
  decltype(ModuleExports::digest) digest_ = nullptr;
  int32_t algorithm_ = 0;
  bool keyed_ = false;
};

// The exports of this test program's build.
const Api& ExportsUnderTest();

inline constexpr int kGenerousMs = 20000;

// The IO's TELVARN_JOB_* state: IO_State reports it negated.
inline int32_t JobState(const Api& api, int32_t io) { return -api.state(io, 0, 0, 0); }

// Polls the IO's state (each call pauses 10 ms) until it is `expected`.
inline ::testing::AssertionResult Reaches(const Api& api, int32_t io, int32_t expected,
                                          int timeout_ms = kGenerousMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int32_t state = JobState(api, io);
  while (state != expected && std::chrono::steady_clock::now() < deadline) state = JobState(api, io);
  if (state == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "IO " << io << " is in state " << state << ", not " << expected;
}

// Asks IO_WaitAll (each call pauses 200 ms) up to `tries` times until every job has ended.
inline bool AllJobsEnd(const Api& api, int tries) {
  for (int i = 0; i < tries; ++i) {
    if (api.wait_all(0, 0, 0, 0) == TELVARN_ALL_IDLE) return true;
  }
  return false;
}

// What every suite of the exports starts from.
class ExportTest : public ::testing::Test {
 protected:
  const Api& api = ExportsUnderTest();

  // A registered IO of the test's own: the slot table is module-wide.
  int32_t NewIo() {
    static std::atomic<int32_t> next{5000};
    const int32_t io = next++;
    EXPECT_EQ(api.initialize(io, 0, 0, 0), 0);
    return io;
  }
  // The module reads a descriptor during the call only, so one record serves.
  const VarDesc* Var(const void* data) {
    var_ = HostVar(data);
    return &var_;
  }
  // Runs `job` at once on the IO over `message` up to its NUL (nullptr: no input
  // bound) into memory bound with the length `room` (at most the default); the
  // text written. The buffer has a byte beyond the largest room, so it always ends
  // in a NUL.
  std::string RunNow(JobExport job, int32_t io, const char* message, int32_t room = TELVARN_DIGEST_TEXT_MAX + 1) {
    char out[TELVARN_DIGEST_TEXT_MAX + 2] = {};
    if (message != nullptr) {
      EXPECT_EQ(api.input_set(Var(message), io, TELVARN_MODE_MEMORY, 0), 0);
    }
    EXPECT_EQ(api.output_set(Var(out), io, TELVARN_MODE_MEMORY, room), 0);
    EXPECT_EQ(job(io, TELVARN_RUN_NOW, 0, 0), 0);
    return out;
  }

 private:
  VarDesc var_{};
};

}  // namespace telvarn::test
