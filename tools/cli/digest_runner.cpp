// The digest runner: a few threads of the program's each take the next input, bind it
// and run its job; the calling thread hands the results back in the order given.
#include "cli/digest_runner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cli/system.h"
#include "cli/text.h"
#include "platform/aligned_buffer.h"
#include "platform/platform.h"

namespace telvarn::cli {

namespace {

// The tag coreutils writes for the command: its word in upper case (SHA256,
// HMAC-SHA256, SHA512-224), BLAKE2's with its letter in lower case (BLAKE2b).
std::string TagOf(const std::string& command) {
  std::string tag = command;
  // ASCII only: the commands are ASCII, and the C runtime's toupper is not among
  // the imports the oldest supported Windows has.
  for (char& c : tag) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // b2sum writes BLAKE2b, and BLAKE2s follows it.
  if (tag == "BLAKE2B" || tag == "BLAKE2S") tag.back() = command.back();
  return tag;
}

}  // namespace

const std::vector<Algorithm>& Algorithms() {
  static const std::vector<Algorithm> algorithms = [] {
    struct Row {
      int32_t number;
      const char* command;
      size_t digits;
      KeyForm key_form;
      const KeyRule* key_rule;
    };
    const Row rows[] = {
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job) \
  {number, command, digits, key_form, key_rule},
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
    };
    std::vector<Algorithm> list;
    for (const Row& row : rows) {
      list.push_back({row.command, TagOf(row.command), row.number, row.digits, false});
      list.back().bsd_lines = row.number == TELVARN_ALGORITHM_XXH3;
      list.back().key_rule = row.key_form == KeyForm::kOwn ? row.key_rule : nullptr;
      if (list.back().key_rule != nullptr) list.back().key_bytes_as_hex = list.back().key_rule->hex_bytes;
    }
    for (const Row& row : rows) {
      if (row.key_form != KeyForm::kHmac) continue;
      const std::string command = std::string("hmac-") + row.command;
      list.push_back({command, TagOf(command), row.number, row.digits, true});
    }
    return list;
  }();
  return algorithms;
}

const Algorithm* FindAlgorithm(const std::string& command) {
  for (const Algorithm& algorithm : Algorithms()) {
    if (command == algorithm.command) return &algorithm;
  }
  return nullptr;
}

Placement PlacementFromEnvironment() {
  const char* value = std::getenv("TELVARN_PLACEMENT");
  if (value == nullptr) return Placement::kThreads;
  if (std::strcmp(value, "own") == 0) return Placement::kOwn;
  if (std::strcmp(value, "queue") == 0) return Placement::kQueue;
  return Placement::kThreads;
}

namespace {

// Tasks in flight (taken, waiting to be taken, or done and waiting for an earlier
// one) per thread: enough that a thread finds work while an earlier large file
// holds the output back, few enough that memory stays bounded by the threads.
constexpr size_t kWindowPerThread = 4;
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

std::string ProgressName(const std::string& name) { return name == "-" ? "standard input" : QuoteName(name); }

}  // namespace

struct DigestRunner::Job {
  std::unique_ptr<DigestTask> task;
  // Guarded by the runner's lock.
  bool finished = false;
  bool reads_stdin = false;
  StreamTurns* stream = nullptr;  // a stream's, read in its turn
  uint64_t stream_turn = 0;
  int32_t running_io = 0;    // the IO of its job while one runs, for the progress line
  int64_t known_size = -1;   // bytes in all, when known

  // The thread's that took it.
  InputFile file;
  bool fed = false;         // the module reads it through a pipe of ours
  std::string module_name;  // otherwise the name the module opens
  uint64_t size = 0;
  bool retried = false;  // read here after the module delivered nothing
  char result[TELVARN_DIGEST_TEXT_MAX + 1] = {};
};

DigestRunner::DigestRunner(const ModuleExports& exports, const Algorithm& algorithm, std::string key,
                           uint32_t threads, Done done, std::function<bool()> stop, ProgressLine* progress)
    : exports_(exports), algorithm_(algorithm), key_(std::move(key)), done_(std::move(done)),
      stop_(std::move(stop)), progress_(progress), placement_(PlacementFromEnvironment()),
      thread_limit_(std::max<uint32_t>(1, std::min(threads, kMostDigestThreads))),
      window_limit_(kWindowPerThread * thread_limit_) {
  if (progress_ != nullptr && progress_->enabled()) {
    progress_->Show("", [this](uint64_t& done_bytes, int64_t& total, std::string& name) {
      return CountProgress(done_bytes, total, name);
    });
  }
}

DigestRunner::~DigestRunner() {
  // The progress line's thread asks this runner: it stops asking before the runner goes.
  if (progress_ != nullptr) progress_->Clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    dropping_ = true;
  }
  work_added_.notify_all();
  // Jobs still running write into their Job records: the threads end after them.
  for (std::thread& thread : threads_) thread.join();
}

void DigestRunner::Add(std::unique_ptr<DigestTask> task) {
  auto job = std::make_unique<Job>();
  job->task = std::move(task);
  job->reads_stdin = job->task->name == "-";
  std::string stream;
  const bool is_stream = job->task->notice.empty() && StreamIdentity(job->task->name, stream);
  const bool stop = stop_();
  std::unique_lock<std::mutex> lock(mutex_);
  if (stop) dropping_ = true;
  if (dropping_ || !job->task->notice.empty()) {
    job->finished = true;
  } else if (is_stream) {
    job->stream = &stream_turns_[stream];
    job->stream_turn = job->stream->readers_added++;
  }
  window_.push_back(std::move(job));
  // A thread that was woken may not have taken its job yet: only more jobs waiting
  // than idle threads make another thread.
  if (window_.size() - taken_ > idle_threads_ && threads_.size() < thread_limit_) {
    const int32_t io = static_cast<int32_t>(threads_.size()) + 1;
    threads_.emplace_back([this, io] { Work(io); });
  }
  work_added_.notify_one();
  EmitFinished(lock);
  while (window_.size() >= window_limit_) {
    job_finished_.wait(lock, [this] { return window_.front()->finished; });
    EmitFinished(lock);
  }
}

void DigestRunner::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!window_.empty()) {
    job_finished_.wait(lock, [this] { return window_.front()->finished; });
    EmitFinished(lock);
  }
}

// Hands over the finished jobs at the front, outside the lock: `done` writes, and a
// slow reader of the output must not hold the threads up.
void DigestRunner::EmitFinished(std::unique_lock<std::mutex>& lock) {
  bool emitted = false;
  while (!window_.empty() && window_.front()->finished) {
    std::unique_ptr<Job> job = std::move(window_.front());
    window_.pop_front();
    // A job finished at Add() may never have been taken.
    if (taken_ > 0) --taken_;
    lock.unlock();
    if (!emitted && progress_ != nullptr) progress_->Hide();
    emitted = true;
    done_(*job->task);
    job.reset();
    const bool stop = stop_();
    lock.lock();
    if (stop) dropping_ = true;
  }
  if (emitted && progress_ != nullptr) {
    lock.unlock();
    progress_->Resume();
    lock.lock();
  }
}

// One thread's life: it takes the jobs in the order added, on an IO of its own.
void DigestRunner::Work(int32_t io) {
  bool have_io = exports_.initialize(io, 0, 0, 0) == 0;
  // An IO keeps its key from job to job.
  if (have_io && algorithm_.keyed) {
    have_io = exports_.key_set(key_.c_str(), io, static_cast<int32_t>(key_.size()), 0) == 0;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_threads_;
    work_added_.wait(lock, [this] { return ending_ || taken_ < window_.size(); });
    --idle_threads_;
    if (taken_ == window_.size()) return;
    Job& job = *window_[taken_++];
    if (job.finished) continue;
    if (job.stream != nullptr) {
      turn_passed_.wait(lock, [&job] { return job.stream->readers_done == job.stream_turn; });
    }
    if (!dropping_) {
      lock.unlock();
      try {
        if (!have_io) {
          job.task->error = "cannot register an IO with the module";
        } else {
          Run(job, io);
        }
      } catch (const std::exception& error) {
        job.task->error = error.what();
      }
      lock.lock();
    }
    if (job.stream != nullptr) {
      ++job.stream->readers_done;
      turn_passed_.notify_all();
    }
    job.running_io = 0;
    run_on_io_[io] = 0;
    if (job.known_size > 0) bytes_finished_ += static_cast<uint64_t>(job.known_size);
    job.finished = true;
    job_finished_.notify_all();
  }
}

void DigestRunner::Run(Job& job, int32_t io) {
  if (!Prepare(job)) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job.running_io = io;
    run_on_io_[io] = ++runs_begun_;
    if (!job.fed || job.file.regular()) job.known_size = static_cast<int64_t>(job.size);
  }
  if (job.fed) {
    RunFed(job, io);
  } else {
    RunNamed(job, io);
  }
  Complete(job, io);
}

// False, with the reason in the task, when the input cannot be had.
bool DigestRunner::Prepare(Job& job) {
  DigestTask& task = *job.task;
  if (job.reads_stdin) {
    job.file.OpenStandardInput();
    job.fed = true;
    return true;
  }
  // A regular file under a name that the module's ANSI calls can spell is opened by
  // the module alone; this look costs no open of our own.
  if (LooksLikeRegularFile(task.name, job.size)) {
    job.module_name = ModuleFileName(task.name);
    if (!job.module_name.empty()) return true;
  }
  return OpenHere(job);
}

// Opens the input here, for its reason when it cannot be opened, or to feed it.
bool DigestRunner::OpenHere(Job& job) {
  DigestTask& task = *job.task;
  if (!job.file.Open(task.name)) {
    task.missing = job.file.missing();
    task.error = job.file.error();
    return false;
  }
  job.size = job.file.size();
  job.fed = true;
  return true;
}

bool DigestRunner::BindOutput(Job& job, int32_t io) {
  TelvarnVarDesc out = Var(job.result);
  return exports_.output_set(&out, io, TELVARN_MODE_MEMORY, static_cast<int32_t>(algorithm_.text_length)) == 0;
}

void DigestRunner::RunNamed(Job& job, int32_t io) {
  TelvarnVarDesc in = Var(job.module_name.c_str());
  if (exports_.input_set(&in, io, TELVARN_MODE_FILE, 0) != 0) {
    // Gone since the look, or not for the module to open: open it here to say why,
    // or to let the module read it through a pipe.
    if (OpenHere(job)) RunFed(job, io);
    return;
  }
  BindOutput(job, io);
  RunJob(io);
}

// Runs the job bound to `io` where the placement says, and returns once it has ended.
void DigestRunner::RunJob(int32_t io) {
  if (placement_ != Placement::kThreads) {
    const int32_t priority = placement_ == Placement::kOwn ? TELVARN_PRIORITY_IMMEDIATE : TELVARN_PRIORITY_NORMAL;
    if (Launch(io, TELVARN_DIGEST_QUEUE, priority) == 0) {
      // IO_Wait sleeps in the module until the job ends, where polling IO_State
      // would wake every 10 ms.
      while (exports_.state(io, 0, 0, 0) != -TELVARN_JOB_FINISHED) exports_.wait(io, TELVARN_WAIT_INFINITE, 0, 0);
      return;
    }
    // Not queued: the bindings are still in place for a run here.
  }
  Launch(io, 0, TELVARN_PRIORITY_IMMEDIATE);
}

int32_t DigestRunner::Launch(int32_t io, int32_t queue_flag, int32_t priority) {
  const int32_t keyed_flag = algorithm_.keyed ? TELVARN_DIGEST_KEYED : 0;
  return exports_.digest(io, algorithm_.number, queue_flag | keyed_flag, priority);
}

// The job runs on this thread and reads a pipe that a thread of ours fills from the
// file, a block at a time.
void DigestRunner::RunFed(Job& job, int32_t io) {
  platform::AlignedBuffer buffer;
  if (!buffer.Allocate(kFeedBlock)) {
    job.task->error = "out of memory";
    return;
  }
  ModulePipe pipe;
  if (!pipe.Create()) {
    job.task->error = "cannot make a pipe: " + pipe.error();
    return;
  }
  TelvarnVarDesc in = Var(pipe.name().c_str());
  if (exports_.input_set(&in, io, TELVARN_MODE_FILE, 0) != 0) {
    job.task->error = "the module cannot open a pipe";
    return;
  }
  pipe.ReaderBound();
  BindOutput(job, io);
  std::string read_error;
  std::thread feeder([&job, &pipe, &read_error, block = reinterpret_cast<char*>(buffer.data())] {
    for (;;) {
      const int64_t got = job.file.Read(block, kFeedBlock);
      if (got < 0) {
        read_error = job.file.error();
        break;
      }
      if (got == 0 || !pipe.WriteAll(block, static_cast<size_t>(got))) break;
    }
    pipe.CloseWriter();
  });
  if (Launch(io, 0, TELVARN_PRIORITY_IMMEDIATE) != 0) {
    // A refused job leaves the pipe bound and unread: initialising the IO closes it,
    // so that the feeder's next write fails instead of waiting for a reader.
    exports_.initialize(io, 0, 0, 0);
  }
  feeder.join();
  job.file.Close();
  if (!read_error.empty()) job.task->error = read_error;
}

void DigestRunner::Complete(Job& job, int32_t io) {
  DigestTask& task = *job.task;
  if (task.error.empty() && !DeliveredResult(job.result, algorithm_.text_length)) {
    // The module delivers nothing when it cannot read its input to the end, and
    // does not say why: read the input here, which finds the reason, or, should
    // the read succeed this time, gives the digest after all.
    if (!job.fed && !job.retried) {
      job.retried = true;
      if (OpenHere(job)) {
        std::memset(job.result, 0, sizeof job.result);
        RunFed(job, io);
        Complete(job, io);
      }
      return;
    }
    if (task.error.empty()) task.error = "the module delivered no digest";
  }
  if (task.error.empty()) {
    task.digest.assign(job.result, algorithm_.text_length);
    task.ok = true;
  }
}

// The progress line's source, asked from its thread: the bytes of the jobs done since
// the runner began and of those running, read from the module's counts outside the
// lock (each read pauses in the module, so that with many jobs one answer takes a
// while). A job seen ended before its read is counted by its size and not asked
// about, so that the last answer, which Clear() waits for, ends soon after the jobs.
// A job that ends meanwhile may count twice for one redraw; the line only shows it.
bool DigestRunner::CountProgress(uint64_t& done, int64_t& total, std::string& name) {
  struct Running {
    int32_t io;
    uint64_t run;
    int64_t known_size;
  };
  std::vector<Running> running;
  uint64_t finished = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished = bytes_finished_;
    for (const auto& job : window_) {
      if (job->running_io == 0 || job->finished) continue;
      if (running.empty()) name = ProgressName(job->task->name);
      running.push_back({job->running_io, run_on_io_[job->running_io], job->known_size});
    }
  }
  if (running.empty()) return false;
  if (running.size() > 1) name = std::to_string(running.size()) + " files";
  done = finished;
  uint64_t all = finished;
  bool all_known = true;
  for (const Running& job : running) {
    bool ended = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended = run_on_io_[job.io] != job.run;
    }
    if (ended) {
      const uint64_t size = job.known_size > 0 ? static_cast<uint64_t>(job.known_size) : 0;
      done += size;
      all += size;
      continue;
    }
    TelvarnProgressCounts counts{};
    TelvarnVarDesc var = Var(&counts);
    exports_.progress(job.io, &var, 0, 0);
    done += counts.consumed_low | static_cast<uint64_t>(counts.consumed_high) << 32;
    const uint64_t job_total = counts.total_low | static_cast<uint64_t>(counts.total_high) << 32;
    if (job_total != UINT64_MAX) {
      all += job_total;
    } else if (job.known_size >= 0) {
      all += static_cast<uint64_t>(job.known_size);
    } else {
      all_known = false;
    }
  }
  total = all_known ? static_cast<int64_t>(std::max(all, done)) : -1;
  return true;
}

}  // namespace telvarn::cli
