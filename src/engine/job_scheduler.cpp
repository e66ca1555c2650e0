// The scheduler thread: admission by level, job threads made at admission and waited for at their end, the end when idle.
#include "engine/job_scheduler.h"

#include "engine/job.h"
#include "engine/module.h"

namespace telvarn {

using platform::Os;
using platform::ThreadHandle;

void JobScheduler::Notify() {
  ++changes_;
  wake_.notify_all();
}

// Without the lock.
bool JobScheduler::StartThread() {
  if (!Os::pin_module()) return false;
  ThreadHandle thread = Os::create_thread(&SchedulerThread, this, nullptr);
  if (thread == nullptr) {
    Os::unpin_module();
    return false;
  }
  Os::lower_thread_priority(thread);
  Os::close_thread(thread);
  return true;
}

bool JobScheduler::prepare_launch() {
  JobsLockHold hold(JobsLock());
  // Whether another launch's thread is made decides whether this one must make one.
  platform::WaitUntil(thread_made_, JobsLock(), platform::kInfinite, [this] { return !thread_starting_; });
  ++launches_under_way_;
  if (thread_alive_) return true;
  // Alive and with a launch under way before it exists, so that the thread keeps
  // running however soon it makes its first pass.
  thread_alive_ = true;
  thread_starting_ = true;
  JobsLock().unlock();
  const bool made = StartThread();
  JobsLock().lock();
  thread_starting_ = false;
  thread_made_.notify_all();
  if (made) return true;
  thread_alive_ = false;
  --launches_under_way_;
  return false;
}

bool JobScheduler::enqueue(Job* job) {
  --launches_under_way_;
  const bool queued = queue_.push(job, job->level);
  if (queued) idle_.store(false);
  // Also when nothing was queued: the thread may have nothing left to wait for.
  Notify();
  return queued;
}

bool JobScheduler::withdraw(Job* job) {
  if (!queue_.remove(job, job->level)) return false;
  Notify();
  return true;
}

void JobScheduler::note_synchronous_launch() {
  // The scheduler thread lives while anything is queued or running.
  if (!thread_alive_) idle_.store(true);
}

uint32_t TELVARN_CALL JobScheduler::SchedulerThread(void* scheduler) {
  static_cast<JobScheduler*>(scheduler)->Run();
  Os::leave_pinned_thread(0);
  return 0;
}

uint32_t TELVARN_CALL JobScheduler::JobThread(void* place_arg) {
  Place& place = *static_cast<Place*>(place_arg);
  Job* job = place.job;
  job->kind.run(*job);
  Release(job);
  {
    JobsLockHold hold(JobsLock());
    place.state = Place::State::kFinished;
    module::scheduler().Notify();
  }
  // From here the thread only returns; the scheduler waits for its end before it
  // frees the place.
  Os::leave_pinned_thread(0);
  return 0;
}

// With the lock held on entry and on return; made without it, since making a
// thread is a round trip to the system.
bool JobScheduler::StartJobThread(Job* job) {
  Place* place = places_;
  while (place->state != Place::State::kFree) ++place;
  place->state = Place::State::kRunning;
  place->job = job;
  ++places_taken_;
  // The job's thread may run to its end and drop the queue's reference before
  // the lock is taken again.
  AddReference(*job);
  JobsLock().unlock();
  uint32_t thread_id = 0;
  ThreadHandle thread = nullptr;
  if (Os::pin_module()) {
    thread = Os::create_thread(&JobThread, place, &thread_id);
    if (thread == nullptr) Os::unpin_module();
  }
  JobsLock().lock();
  if (thread != nullptr) {
    place->thread = thread;
    if (job->slot.job == job) job->slot.job_thread_id = thread_id;
    Release(job);
    return true;
  }
  *place = Place{};
  --places_taken_;
  if (!job->cancelled && queue_.push_front(job, job->level)) {
    Release(job);  // the queue's reference remains
    return false;
  }
  // Cancelled while its thread was being made, or with no room to queue it again
  // (the queue had to grow meanwhile and memory ran out): it ends without ever
  // running, rather than leaving its IO launched for good.
  const bool cancelled = job->cancelled;
  JobsLock().unlock();
  EndJob(*job);
  Release(job);
  Release(job);
  JobsLock().lock();
  return cancelled;
}

// With the lock held on entry and on return; the waits are made without it, so
// that host calls never wait for them. The finished jobs' threads take the lock
// no more, and only the scheduler thread frees places, so those it found stay
// as they are meanwhile.
void JobScheduler::FreeFinishedPlaces() {
  Place* finished[kMaxRunning];
  uint32_t count = 0;
  for (Place& place : places_) {
    if (place.state == Place::State::kFinished) finished[count++] = &place;
  }
  if (count == 0) return;
  JobsLock().unlock();
  for (uint32_t i = 0; i < count; ++i) {
    // The thread is only returning: a short wait. Were it to fail (a handle the
    // system no longer knows), holding the place would lose it for good.
    Os::wait_thread(finished[i]->thread, platform::kInfinite);
    Os::close_thread(finished[i]->thread);
  }
  JobsLock().lock();
  for (uint32_t i = 0; i < count; ++i) *finished[i] = Place{};
  places_taken_ -= count;
}

// Places free only in FreeFinishedPlaces, so a pass admits no more jobs than
// there were free places when it began.
bool JobScheduler::Admit() {
  while (places_taken_ < kMaxRunning && !queue_.immediate_empty()) {
    if (!StartJobThread(queue_.take_immediate())) return false;
  }
  while (places_taken_ < kMaxOrdinaryRunning && !queue_.ordinary_empty()) {
    if (!StartJobThread(queue_.take_next())) return false;
  }
  return true;
}

void JobScheduler::Run() {
  JobsLock().lock();
  for (;;) {
    JobsLock().unlock();
    Os::sleep_ms(kPassSleepMs);
    JobsLock().lock();
    const uint64_t seen = changes_;
    FreeFinishedPlaces();
    const bool admitted_all = Admit();
    if (places_taken_ == 0 && queue_.empty() && launches_under_way_ == 0) break;
    if (admitted_all) {
      platform::WaitUntil(wake_, JobsLock(), kRunningWaitMs, [&] { return changes_ != seen; });
    }
  }
  thread_alive_ = false;
  idle_.store(true);
  JobsLock().unlock();
}

}  // namespace telvarn
