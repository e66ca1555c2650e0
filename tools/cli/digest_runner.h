// Digesting many inputs through the module's Digest export: several at once, each a
// synchronous job on one of the program's threads, and the results handed back in the
// order given.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "boundary/key_forms.h"
#include "cli/progress_line.h"
#include "module_binding/module_binding.h"

namespace telvarn::cli {

struct Algorithm {
  std::string command;  // the command word: sha256, hmac-sha256
  std::string tag;      // the name on BSD lines (--tag): SHA256, HMAC-SHA256
  int32_t number;       // the module's TELVARN_ALGORITHM_*
  size_t text_length;   // characters of the result text
  bool keyed;           // launched keyed: HMAC, or the own keyed mode, under the key the options give
  // The own keyed mode's rule (the algorithm table's): the plain command then
  // takes a key option, and runs keyed when one is given. nullptr for the others.
  const KeyRule* key_rule = nullptr;
  // Lines are BSD lines even without --tag, as the tool of the digest writes them
  // (xxhsum -H3); check mode reads both forms either way.
  bool bsd_lines = false;
  // Not 0: the key must be exactly this many bytes, and the module is handed their
  // hexadecimal digits, so that a key with a NUL byte passes through its key text
  // (BLAKE3's 32 bytes). Such a command also reads its key with --keyed, as b3sum does.
  size_t key_bytes_as_hex = 0;
};

// Every digest command, from the module's table of algorithms: the plain digests
// (those with an own keyed mode among them), then the HMAC ones, each in the
// table's order (the order the help lists them).
const std::vector<Algorithm>& Algorithms();
const Algorithm* FindAlgorithm(const std::string& command);

// The module keeps at most this many key bytes and reads its key up to the first NUL.
constexpr size_t kMaxKeyBytes = 4095;

// One input to digest and, once done, what came of it.
struct DigestTask {
  std::string name;      // UTF-8, as given; "-" is standard input
  std::string expected;  // check mode: the digest the list gives

  bool ok = false;       // the digest was computed
  bool missing = false;  // the file does not exist
  std::string error;     // the reason in words when not ok
  // Set before Add(): nothing to digest, only this message, reported in the task's
  // place among the results (a malformed list line, a folder that cannot be read).
  std::string notice;
  std::string digest;    // the module's result text
};

// The most threads -j takes (a larger count is taken as this): under Wine each thread
// holds about 2 MiB of a 32-bit process's address space.
constexpr uint32_t kMostDigestThreads = 64;

// Where the jobs run. kThreads is the program's choice (measured against the others
// in bench/README.md); the others are there so that the benchmark can measure it
// (TELVARN_PLACEMENT=threads, own or queue in the environment).
enum class Placement {
  kThreads,  // a synchronous job on the program's thread that took the file
  kOwn,      // a priority-1 job of the module's, waited for by that thread
  kQueue,    // a job at the scheduler's ordinary priority 4, waited for likewise
};
Placement PlacementFromEnvironment();

class DigestRunner {
 public:
  using Done = std::function<void(DigestTask&)>;

  // `threads` (1 to kMostDigestThreads) digest at once; `done` receives each task on
  // the calling thread, in the order added, whatever order they finished in. `stop`
  // is asked between tasks; once it says so, the tasks not begun are dropped.
  // `progress`, when given, shows the bytes of every input in flight together; it
  // is hidden whenever `done` is called.
  DigestRunner(const ModuleExports& exports, const Algorithm& algorithm, std::string key, uint32_t threads,
               Done done, std::function<bool()> stop, ProgressLine* progress = nullptr);
  ~DigestRunner();
  DigestRunner(const DigestRunner&) = delete;
  DigestRunner& operator=(const DigestRunner&) = delete;

  // Blocks while the window of tasks in flight is full, handing over the finished ones.
  void Add(std::unique_ptr<DigestTask> task);
  // Waits for every task and hands over the last results.
  void Finish();

 private:
  struct Job;

  void Work(int32_t io);
  void Run(Job& job, int32_t io);
  bool Prepare(Job& job);
  bool OpenHere(Job& job);
  bool BindOutput(Job& job, int32_t io);
  void RunFed(Job& job, int32_t io);
  void RunNamed(Job& job, int32_t io);
  void RunJob(int32_t io);
  // The algorithm's job on the IO through the Digest export, queued or not; its result.
  int32_t Launch(int32_t io, int32_t queue_flag, int32_t priority);
  void Complete(Job& job, int32_t io);
  void EmitFinished(std::unique_lock<std::mutex>& lock);
  bool CountProgress(uint64_t& done, int64_t& total, std::string& name);

  const ModuleExports& exports_;
  const Algorithm& algorithm_;
  std::string key_;
  Done done_;
  std::function<bool()> stop_;
  ProgressLine* progress_;
  Placement placement_;
  uint32_t thread_limit_;
  size_t window_limit_;

  std::mutex mutex_;
  std::condition_variable work_added_;     // a job to take, or the end
  std::condition_variable job_finished_;   // the front job may be done
  std::condition_variable turn_passed_;    // the next reader of a stream may go
  std::deque<std::unique_ptr<Job>> window_;  // added and not yet handed over, in order
  size_t taken_ = 0;                       // of window_, the jobs taken by a thread
  uint32_t idle_threads_ = 0;              // threads waiting for a job
  bool ending_ = false;                    // no more jobs: the threads return
  bool dropping_ = false;                  // jobs not begun are dropped
  // Readers of one stream (a pipe, a FIFO, a terminal, standard input), under
  // whatever names, share its bytes: they go one at a time, in the order added.
  struct StreamTurns {
    uint64_t readers_added = 0;
    uint64_t readers_done = 0;
  };
  std::map<std::string, StreamTurns> stream_turns_;  // by StreamIdentity()
  uint64_t bytes_finished_ = 0;            // of the jobs done since the runner began
  uint64_t runs_begun_ = 0;
  // By IO: which run (of runs_begun_) its thread is in, 0 between runs; the
  // progress line skips the IOs whose run ended since it looked.
  uint64_t run_on_io_[kMostDigestThreads + 1] = {};
  std::vector<std::thread> threads_;
};

}  // namespace telvarn::cli
