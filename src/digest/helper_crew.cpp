// The helper crew: a batch at a time, handed out by an atomic counter, joined under one lock.
#include "digest/helper_crew.h"

namespace telvarn {

using platform::Os;
using platform::ScopedLock;

HelperCrew::HelperCrew(uint32_t helpers) : wanted_(helpers < kMostHelpers ? helpers : kMostHelpers) {}

HelperCrew::~HelperCrew() {
  {
    ScopedLock<Os::Mutex> hold(lock_);
    stop_ = true;
  }
  work_.notify_all();
  for (uint32_t i = 0; i < started_; ++i) {
    Os::wait_thread(threads_[i], platform::kInfinite);
    Os::close_thread(threads_[i]);
  }
}

void HelperCrew::Run(uint32_t count, Task task, void* context) {
  if (!made_) {
    made_ = true;
    while (started_ < wanted_) {
      platform::ThreadHandle thread = Os::create_thread(&HelperCrew::HelperMain, this, nullptr);
      if (thread == nullptr) break;
      threads_[started_++] = thread;
    }
  }
  {
    ScopedLock<Os::Mutex> hold(lock_);
    task_ = task;
    context_ = context;
    count_ = count;
    finished_ = 0;
    next_.store(0, std::memory_order_relaxed);
    ++batch_;
    open_ = true;
  }
  if (started_ > 0 && count > 1) work_.notify_all();
  const uint32_t ran = RunTasks();
  ScopedLock<Os::Mutex> hold(lock_);
  finished_ += ran;
  platform::WaitUntil(done_, lock_, platform::kInfinite, [&] { return finished_ == count_ && joined_ == 0; });
  open_ = false;
}

uint32_t HelperCrew::RunTasks() {
  uint32_t ran = 0;
  for (;;) {
    const uint32_t index = next_.fetch_add(1, std::memory_order_relaxed);
    if (index >= count_) return ran;
    task_(context_, index);
    ++ran;
  }
}

uint32_t TELVARN_CALL HelperCrew::HelperMain(void* self) {
  HelperCrew& crew = *static_cast<HelperCrew*>(self);
  uint64_t seen = 0;
  crew.lock_.lock();
  for (;;) {
    platform::WaitUntil(crew.work_, crew.lock_, platform::kInfinite,
                        [&] { return crew.stop_ || (crew.open_ && crew.batch_ != seen); });
    if (crew.stop_) break;
    seen = crew.batch_;
    ++crew.joined_;
    crew.lock_.unlock();
    const uint32_t ran = crew.RunTasks();
    crew.lock_.lock();
    crew.finished_ += ran;
    --crew.joined_;
    crew.done_.notify_all();
  }
  crew.lock_.unlock();
  return 0;
}

}  // namespace telvarn
