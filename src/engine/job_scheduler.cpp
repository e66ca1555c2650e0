// The scheduler thread: admission by level, the running list, the idle hand-shake, the stop.
#include "engine/job_scheduler.h"

#include <new>

namespace telvarn {

using platform::kInfinite;
using platform::kMaxWaitThreads;
using platform::Os;
using platform::ThreadHandle;
using Lock = platform::ScopedLock<Os::CriticalSection>;

namespace {
constexpr int32_t kRun = 0;
constexpr int32_t kStop = 2;
}  // namespace

struct JobScheduler::Shared {
  // Guards `waiting` together with the signalling and resetting of wake_event.
  Os::CriticalSection lock;
  Os::Event wake_event;
  std::atomic<bool> waiting{false};
  int32_t max_running = kMaxRunning;
  RunQueue queue;
  std::atomic<int32_t> run_state{kStop};
  ThreadHandle thread = nullptr;
  bool thread_started = false;
  // Set by the thread once it has seen the stop and holds nothing any more.
  Os::Event parked;

  // Launcher and unload side of the hand-shake: wake the thread if it is idle.
  void Wake() {
    Lock hold(lock);
    if (waiting.load()) {
      waiting.store(false);
      wake_event.set();
    }
  }

  void Run();
  int32_t WaitForRunningWorker(const ThreadHandle* running, uint32_t count);
  void Admit(ThreadHandle worker, ThreadHandle* running, uint32_t& count);
  void GoIdleUnlessQueued();
};

// Waits up to 5000 ms for one of the running workers to end, in slices, so that a
// stop is seen within one slice even while workers run long jobs. Yields the index
// of an ended worker, or a negative value (time-out, failure, stop).
int32_t JobScheduler::Shared::WaitForRunningWorker(const ThreadHandle* running, uint32_t count) {
  constexpr uint32_t kSliceMs = 100;
  for (uint32_t waited = 0; waited < kRunningWaitMs; waited += kSliceMs) {
    int32_t ended = Os::wait_any_thread(running, count, kSliceMs);
    if (ended != platform::kWaitAnyTimedOut || run_state.load() == kStop) return ended;
  }
  return platform::kWaitAnyTimedOut;
}

// Resumes a worker and appends it to the running list. An empty handle (nothing
// to run) is not counted.
void JobScheduler::Shared::Admit(ThreadHandle worker, ThreadHandle* running, uint32_t& count) {
  if (worker == nullptr) return;
  Os::resume_thread(worker);
  running[count++] = worker;
}

// Sets `waiting` only when nothing is queued, looking at the queue under the same
// lock as the launcher's hand-shake: a job pushed before the look is seen by it,
// and one pushed after it finds `waiting` set and signals. This is the one place
// where the queue's lock is taken inside this lock; no one takes them the other way.
// A stop asked for before the look keeps the thread from going idle at all.
void JobScheduler::Shared::GoIdleUnlessQueued() {
  {
    Lock hold(lock);
    if (!waiting.load() && queue.empty() && run_state.load() != kStop) {
      waiting.store(true);
      wake_event.reset();
    }
  }
  if (waiting.load()) wake_event.wait(kInfinite);
}

void JobScheduler::Shared::Run() {
  ThreadHandle running[kMaxWaitThreads] = {};
  uint32_t count = 0;
  for (;;) {
    if (count > 0) {
      int32_t ended = WaitForRunningWorker(running, count);
      if (run_state.load() == kStop) break;
      if (ended >= 0 && static_cast<uint32_t>(ended) < count) {
        Os::close_thread(running[ended]);
        for (uint32_t i = static_cast<uint32_t>(ended); i + 1 < count; ++i) running[i] = running[i + 1];
        running[--count] = nullptr;
      }
    } else if (run_state.load() == kStop) {
      break;
    }

    // Level 0 is admitted whatever else runs, as far as the running list reaches.
    while (count < kMaxWaitThreads && !queue.immediate_empty()) {
      Admit(queue.take_immediate(), running, count);
    }

    if (count < static_cast<uint32_t>(max_running)) {
      uint32_t takes = static_cast<uint32_t>(max_running) - count;
      for (uint32_t i = 0; i < takes && !queue.ordered_empty(); ++i) {
        Admit(queue.take_next(), running, count);
      }
    }

    if (count == 0) GoIdleUnlessQueued();
    Os::sleep_ms(kPassSleepMs);
  }
  // Handles still running or queued are left alone: their workers go on (and keep
  // the module mapped) or stay suspended.
  parked.set();
  Os::park_current_thread();
}

uint32_t TELVARN_STDCALL JobScheduler::ThreadMain(void* shared) {
  static_cast<Shared*>(shared)->Run();
  return 0;
}

JobScheduler::JobScheduler() : shared_(new (std::nothrow) Shared) {}

JobScheduler::~JobScheduler() {
  if (shared_ == nullptr) return;
  if (!shared_->thread_started) {
    delete shared_;
    return;
  }
  shared_->run_state.store(kStop);
  shared_->Wake();
  // Wait for the thread to park, in slices, so that a thread that the process's
  // own end has already taken away does not cost the whole wait.
  bool parked = false;
  for (uint32_t waited = 0; waited < kStopWaitMs && !parked; waited += 100) {
    parked = shared_->parked.wait(100);
    if (Os::wait_thread(shared_->thread, 0) == platform::WaitOutcome::kEnded) break;
  }
  // A thread still in a long wait on its workers is ended as it is: holding both
  // locks keeps it out of them, and it holds nothing else (it never allocates and
  // touches no stream).
  bool ended;
  {
    Lock hold(shared_->lock);
    Lock hold_queue(shared_->queue.lock());
    Os::terminate_parked_thread(shared_->thread);
    ended = Os::wait_thread(shared_->thread, 0) == platform::WaitOutcome::kEnded;
  }
  Os::close_thread(shared_->thread);
  shared_->thread_started = false;
  // Where the platform cannot end a thread, a parked one sleeps on harmlessly;
  // one that never parked may still wake, so its state is left to it.
  if (ended || parked) delete shared_;
  shared_ = nullptr;
}

bool JobScheduler::start() {
  if (shared_ == nullptr) return false;
  if (shared_->thread_started) return true;
  shared_->run_state.store(kRun);
  ThreadHandle thread = Os::create_thread(&ThreadMain, shared_, false, nullptr);
  if (thread == nullptr) {
    shared_->run_state.store(kStop);
    return false;
  }
  Os::lower_thread_priority(thread);
  shared_->thread = thread;
  shared_->thread_started = true;
  return true;
}

bool JobScheduler::enqueue(ThreadHandle worker, int32_t level) {
  if (shared_ == nullptr || !shared_->queue.push(worker, level)) return false;
  shared_->Wake();
  return true;
}

bool JobScheduler::idle() const { return shared_ != nullptr && shared_->waiting.load(); }

}  // namespace telvarn
