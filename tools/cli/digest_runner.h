// Digesting many inputs through the module's job exports: each file is run where it
// costs least (a synchronous job on this thread, or a priority-1 job of its own
// beside it for a large file), and results come back in the order given.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/progress_line.h"
#include "module_binding/module_binding.h"

namespace telvarn::cli {

struct Algorithm {
  const char* command;  // the command word: sha256
  const char* tag;      // the name on BSD lines (--tag): SHA256
  decltype(ModuleExports::crc32) ModuleExports::*job;
  size_t text_length;  // characters of the result text
  bool keyed;
};

// Every digest command, in the order the help lists them.
constexpr size_t kAlgorithmCount = 10;
extern const Algorithm kAlgorithms[kAlgorithmCount];
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
  std::string digest;    // the module's result text
};

// When a file is large enough to be worth a job of its own beside this thread: a
// job thread and the scheduler's admission cost far more under Wine than natively,
// and a file of this size repays them everywhere.
constexpr uint64_t kOwnJobBytes = 64u << 20;

// Where the jobs run. kAuto is the program's choice; the others are there so that
// the benchmark can measure the choice against them (TELVARN_PLACEMENT=here, own
// or queue in the environment).
enum class Placement {
  kAuto,   // synchronous here; a priority-1 job for a large file while processors are free
  kHere,   // every file a synchronous job on this thread
  kOwn,    // every file a priority-1 job, as many at once as there are processors
  kQueue,  // every file a job at the scheduler's ordinary priority 4
};
Placement PlacementFromEnvironment();

class DigestRunner {
 public:
  using Done = std::function<void(DigestTask&)>;

  // `done` receives each task, in the order added. `stop` is asked between tasks;
  // once it says so, the remaining tasks are dropped. `progress`, when given, shows
  // the job this thread runs or waits for; it is hidden whenever `done` is called.
  DigestRunner(const ModuleExports& exports, const Algorithm& algorithm, std::string key, Done done,
               std::function<bool()> stop, ProgressLine* progress = nullptr);
  ~DigestRunner();
  DigestRunner(const DigestRunner&) = delete;
  DigestRunner& operator=(const DigestRunner&) = delete;

  void Add(std::unique_ptr<DigestTask> task);
  // Waits for every job and hands over the last results.
  void Finish();

 private:
  struct Job;

  int32_t TakeIo();
  bool BindOutput(Job& job);
  void Prepare(Job& job);
  void OpenHere(Job& job);
  void RunHere(Job& job);
  void RunHereShown(Job& job);
  void ShowProgress(Job& job);
  void HideProgress();
  void RunFed(Job& job);
  bool LaunchOwnJob(Job& job);
  bool OwnJobFinished(Job& job);
  void AwaitOwnJob(Job& job);
  void Complete(Job& job);
  void PollOwnJobs(bool force);
  void EmitReady();
  void WaitForFront();

  const ModuleExports& exports_;
  const Algorithm& algorithm_;
  std::string key_;
  Done done_;
  std::function<bool()> stop_;
  std::deque<std::unique_ptr<Job>> pending_;
  std::vector<int32_t> free_ios_;
  int32_t next_io_ = 1;
  uint32_t own_jobs_running_ = 0;
  uint32_t own_job_limit_ = 0;
  Placement placement_ = Placement::kAuto;
  int32_t own_job_priority_ = TELVARN_PRIORITY_IMMEDIATE;
  uint64_t last_poll_ms_ = 0;
  ProgressLine* progress_;
};

}  // namespace telvarn::cli
