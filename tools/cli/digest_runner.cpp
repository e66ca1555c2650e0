// The digest runner: binding each input, choosing where its job runs, and handing the
// results back in order.
#include "cli/digest_runner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cli/system.h"
#include "cli/text.h"
#include "platform/platform.h"

namespace telvarn::cli {

const Algorithm kAlgorithms[kAlgorithmCount] = {
    {"crc32", "CRC32", &ModuleExports::crc32, 8, false},
    {"crc16", "CRC16", &ModuleExports::crc16, 4, false},
    {"md5", "MD5", &ModuleExports::md5, 32, false},
    {"sha1", "SHA1", &ModuleExports::sha1, 40, false},
    {"sha256", "SHA256", &ModuleExports::sha256, 64, false},
    {"sha512", "SHA512", &ModuleExports::sha512, 128, false},
    {"hmac-md5", "HMAC-MD5", &ModuleExports::md5_key, 32, true},
    {"hmac-sha1", "HMAC-SHA1", &ModuleExports::sha1_key, 40, true},
    {"hmac-sha256", "HMAC-SHA256", &ModuleExports::sha256_key, 64, true},
    {"hmac-sha512", "HMAC-SHA512", &ModuleExports::sha512_key, 128, true},
};

const Algorithm* FindAlgorithm(const std::string& command) {
  for (const Algorithm& algorithm : kAlgorithms) {
    if (command == algorithm.command) return &algorithm;
  }
  return nullptr;
}

Placement PlacementFromEnvironment() {
  const char* value = std::getenv("TELVARN_PLACEMENT");
  if (value == nullptr) return Placement::kAuto;
  if (std::strcmp(value, "here") == 0) return Placement::kHere;
  if (std::strcmp(value, "own") == 0) return Placement::kOwn;
  if (std::strcmp(value, "queue") == 0) return Placement::kQueue;
  return Placement::kAuto;
}

namespace {

// Results come back in order, so later ones wait for an earlier large file; this
// many waiting results bound the memory they take.
constexpr size_t kMostPending = 1024;
// A job of its own is looked at no more often than this: each look pauses 10 ms.
constexpr uint64_t kPollSpacingMs = 100;
// The scheduler runs at most 64 jobs at once.
constexpr uint32_t kMostOwnJobs = 62;
// What a feeder reads and writes at a time.
constexpr size_t kFeedBlock = 1u << 20;

// Whether the module wrote a result into a buffer that held NULs before the job: it
// writes all of its hexadecimal digits or nothing.
bool DeliveredResult(const char* result, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (!IsHexDigit(result[i])) return false;
  }
  return true;
}

TelvarnVarDesc Var(const void* data) {
  TelvarnVarDesc var{};
  var.data = const_cast<void*>(data);
  return var;
}

}  // namespace

struct DigestRunner::Job {
  std::unique_ptr<DigestTask> task;
  InputFile file;
  bool fed = false;         // the module reads it through a pipe of ours
  std::string module_name;  // otherwise the name the module opens
  uint64_t size = 0;
  int32_t io = 0;
  bool own_job = false;
  bool retried = false;  // read here after the module delivered nothing
  bool finished = false;
  char result[TELVARN_DIGEST_TEXT_MAX + 1] = {};
};

DigestRunner::DigestRunner(const ModuleExports& exports, const Algorithm& algorithm, std::string key,
                           Done done, std::function<bool()> stop, ProgressLine* progress)
    : exports_(exports), algorithm_(algorithm), key_(std::move(key)), done_(std::move(done)),
      stop_(std::move(stop)), progress_(progress) {
  const uint32_t processors = ProcessorCount();
  placement_ = PlacementFromEnvironment();
  switch (placement_) {
    case Placement::kAuto:
      // This thread runs jobs too, so it takes one of the processors.
      own_job_limit_ = std::min(processors - 1, kMostOwnJobs);
      break;
    case Placement::kHere:
      own_job_limit_ = 0;
      break;
    case Placement::kOwn:
      own_job_limit_ = std::min(processors, kMostOwnJobs);
      break;
    case Placement::kQueue:
      own_job_limit_ = kMostOwnJobs;
      own_job_priority_ = TELVARN_PRIORITY_NORMAL;
      break;
  }
}

DigestRunner::~DigestRunner() {
  // Jobs of their own still write into their Job records: wait for them.
  for (auto& job : pending_) {
    if (job->own_job && !job->finished) AwaitOwnJob(*job);
  }
}

int32_t DigestRunner::TakeIo() {
  if (!free_ios_.empty()) {
    const int32_t io = free_ios_.back();
    free_ios_.pop_back();
    return io;
  }
  const int32_t io = next_io_++;
  if (exports_.initialize(io, 0, 0, 0) != 0) return 0;
  // An IO keeps its key from job to job.
  if (algorithm_.keyed) {
    exports_.key_set(key_.c_str(), io, static_cast<int32_t>(key_.size()), 0);
  }
  return io;
}

void DigestRunner::Prepare(Job& job) {
  DigestTask& task = *job.task;
  if (task.name == "-") {
    job.file.OpenStandardInput();
    job.fed = true;
    return;
  }
  // A regular file under a name that the module's ANSI calls can spell is opened by
  // the module alone; this look costs no open of our own.
  if (LooksLikeRegularFile(task.name, job.size)) {
    job.module_name = ModuleFileName(task.name);
    if (!job.module_name.empty()) return;
  }
  OpenHere(job);
}

// Opens the input here, for its reason when it cannot be opened, or to feed it.
void DigestRunner::OpenHere(Job& job) {
  DigestTask& task = *job.task;
  if (!job.file.Open(task.name)) {
    task.missing = job.file.missing();
    task.error = job.file.error();
    job.finished = true;
    return;
  }
  job.size = job.file.size();
  job.fed = true;
}

bool DigestRunner::BindOutput(Job& job) {
  TelvarnVarDesc out = Var(job.result);
  return exports_.output_set(&out, job.io, TELVARN_MODE_MEMORY,
                             static_cast<int32_t>(algorithm_.text_length)) == 0;
}

void DigestRunner::Add(std::unique_ptr<DigestTask> task) {
  auto job = std::make_unique<Job>();
  job->task = std::move(task);
  Prepare(*job);
  Job& added = *job;
  pending_.push_back(std::move(job));
  if (added.finished || stop_()) {
    added.finished = true;
  } else if ((added.io = TakeIo()) == 0) {
    added.task->error = "out of memory";
    added.finished = true;
  } else {
    const bool own = !added.fed && own_job_limit_ > 0 &&
                     (added.size >= kOwnJobBytes || placement_ != Placement::kAuto);
    if (own && own_jobs_running_ >= own_job_limit_) {
      // With every job of its own placed, a forced placement waits for one to end.
      PollOwnJobs(placement_ != Placement::kAuto);
      while (placement_ != Placement::kAuto && own_jobs_running_ >= own_job_limit_) PollOwnJobs(true);
    }
    if (!(own && own_jobs_running_ < own_job_limit_ && LaunchOwnJob(added))) RunHere(added);
  }
  PollOwnJobs(false);
  EmitReady();
  while (pending_.size() > kMostPending) WaitForFront();
}

// Shows the job's progress from the module's counts until progress_->Hide(). A
// file fed through a pipe is counted by the module too; only its size is ours.
void DigestRunner::ShowProgress(Job& job) {
  if (progress_ == nullptr || !progress_->enabled()) return;
  const int32_t io = job.io;
  const int64_t known_size = job.fed && job.file.regular() ? static_cast<int64_t>(job.file.size()) : -1;
  progress_->Show(job.task->name == "-" ? "standard input" : QuoteName(job.task->name),
                  [this, io, known_size](uint64_t& done, int64_t& total) {
                    TelvarnProgressCounts counts{};
                    TelvarnVarDesc var = Var(&counts);
                    exports_.progress(io, &var, 0, 0);
                    done = counts.consumed_low | static_cast<uint64_t>(counts.consumed_high) << 32;
                    const uint64_t all = counts.total_low | static_cast<uint64_t>(counts.total_high) << 32;
                    total = all != UINT64_MAX ? static_cast<int64_t>(all) : known_size;
                    return true;
                  });
}

void DigestRunner::HideProgress() {
  if (progress_ != nullptr) progress_->Hide();
}

void DigestRunner::RunHere(Job& job) {
  ShowProgress(job);
  RunHereShown(job);
  HideProgress();
}

void DigestRunner::RunHereShown(Job& job) {
  if (job.fed) {
    RunFed(job);
  } else {
    TelvarnVarDesc in = Var(job.module_name.c_str());
    if (exports_.input_set(&in, job.io, TELVARN_MODE_FILE, 0) != 0) {
      // Gone since the look, or not for the module to open: open it here to say
      // why, or to let the module read it through a pipe.
      OpenHere(job);
      if (job.fed) RunFed(job);
      if (job.finished) {
        free_ios_.push_back(job.io);
        return;
      }
    } else {
      BindOutput(job);
      (exports_.*algorithm_.job)(job.io, TELVARN_RUN_NOW, TELVARN_PRIORITY_IMMEDIATE, 0);
    }
  }
  Complete(job);
}

// The job runs on this thread and reads a pipe that a thread of ours fills from the
// file, a block at a time.
void DigestRunner::RunFed(Job& job) {
  ModulePipe pipe;
  if (!pipe.Create()) {
    job.task->error = "cannot make a pipe: " + pipe.error();
    return;
  }
  TelvarnVarDesc in = Var(pipe.name().c_str());
  if (exports_.input_set(&in, job.io, TELVARN_MODE_FILE, 0) != 0) {
    job.task->error = "the module cannot open a pipe";
    return;
  }
  pipe.ReaderBound();
  BindOutput(job);
  std::string read_error;
  std::thread feeder([&job, &pipe, &read_error] {
    std::unique_ptr<char[]> block(new char[kFeedBlock]);
    for (;;) {
      const int64_t got = job.file.Read(block.get(), kFeedBlock);
      if (got < 0) {
        read_error = job.file.error();
        break;
      }
      if (got == 0 || !pipe.WriteAll(block.get(), static_cast<size_t>(got))) break;
    }
    pipe.CloseWriter();
  });
  (exports_.*algorithm_.job)(job.io, TELVARN_RUN_NOW, TELVARN_PRIORITY_IMMEDIATE, 0);
  feeder.join();
  job.file.Close();
  if (!read_error.empty()) job.task->error = read_error;
}

bool DigestRunner::LaunchOwnJob(Job& job) {
  TelvarnVarDesc in = Var(job.module_name.c_str());
  if (exports_.input_set(&in, job.io, TELVARN_MODE_FILE, 0) != 0) return false;
  BindOutput(job);
  if ((exports_.*algorithm_.job)(job.io, TELVARN_QUEUE, own_job_priority_, 0) != 0) {
    // No thread for it: the bindings are still in place for a run here.
    return false;
  }
  job.own_job = true;
  ++own_jobs_running_;
  return true;
}

bool DigestRunner::OwnJobFinished(Job& job) {
  if (job.finished) return true;
  if (exports_.state(job.io, 0, 0, 0) != -TELVARN_JOB_FINISHED) return false;
  --own_jobs_running_;
  Complete(job);
  return true;
}

void DigestRunner::Complete(Job& job) {
  DigestTask& task = *job.task;
  free_ios_.push_back(job.io);
  job.io = 0;
  if (task.error.empty() && !DeliveredResult(job.result, algorithm_.text_length)) {
    // The module delivers nothing when it cannot read its input to the end, and
    // does not say why: read the input here, which finds the reason, or, should
    // the read succeed this time, gives the digest after all.
    if (!job.fed && !job.retried) {
      job.retried = true;
      OpenHere(job);
      if (job.fed && (job.io = TakeIo()) != 0) {
        std::memset(job.result, 0, sizeof job.result);
        ShowProgress(job);
        RunFed(job);
        HideProgress();
        Complete(job);
        return;
      }
      if (task.error.empty()) task.error = "out of memory";
    } else {
      task.error = "the module delivered no digest";
    }
  }
  if (task.error.empty()) {
    task.digest.assign(job.result, algorithm_.text_length);
    task.ok = true;
  }
  job.finished = true;
}

void DigestRunner::PollOwnJobs(bool force) {
  if (own_jobs_running_ == 0) return;
  const uint64_t now = platform::Os::monotonic_ms();
  if (!force && now - last_poll_ms_ < kPollSpacingMs) return;
  for (auto& job : pending_) {
    if (job->own_job && !job->finished) OwnJobFinished(*job);
  }
  last_poll_ms_ = platform::Os::monotonic_ms();
}

void DigestRunner::EmitReady() {
  while (!pending_.empty() && pending_.front()->finished) {
    std::unique_ptr<Job> job = std::move(pending_.front());
    pending_.pop_front();
    done_(*job->task);
  }
}

// Blocks until a job of its own has finished: IO_Wait sleeps in the module until the
// job ends, where polling IO_State would wake every 10 ms.
void DigestRunner::AwaitOwnJob(Job& job) {
  if (job.finished) return;
  ShowProgress(job);
  const int32_t io = job.io;
  while (exports_.state(io, 0, 0, 0) != -TELVARN_JOB_FINISHED) exports_.wait(io, TELVARN_WAIT_INFINITE, 0, 0);
  HideProgress();
  OwnJobFinished(job);
}

void DigestRunner::WaitForFront() {
  Job& front = *pending_.front();
  if (front.own_job) AwaitOwnJob(front);
  EmitReady();
}

void DigestRunner::Finish() {
  while (!pending_.empty()) WaitForFront();
}

}  // namespace telvarn::cli
