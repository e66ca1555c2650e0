// RunQueue: six rings of suspended worker threads, one per queue level, behind one lock.
//
// Contracts:
// - Level 0 is the immediate level; levels 1 to 5 are the ordinary levels, 1 first.
// - Each ring starts with room for 128 handles and doubles whenever it would fill,
//   so a ring never loses a handle; rings never shrink.
// - Every operation takes the queue's lock for its own duration only. Any thread may
//   push; only the scheduler thread takes, so a level found non-empty stays
//   non-empty until its take.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace telvarn {

class RunQueue {
 public:
  static constexpr int32_t kLevels = 6;
  static constexpr int32_t kImmediateLevel = 0;
  static constexpr uint32_t kInitialRingCapacity = 128;

  RunQueue();
  RunQueue(const RunQueue&) = delete;
  RunQueue& operator=(const RunQueue&) = delete;

  // Appends the handle to its level's ring. False (nothing stored) for a level
  // outside 0-5 or when a full ring cannot grow; queued handles are never lost.
  bool push(platform::ThreadHandle handle, int32_t level);
  // The oldest handle of level 0; nullptr when it is empty.
  platform::ThreadHandle take_immediate();
  // The oldest handle of the lowest non-empty level, level 0 included; nullptr when
  // every level is empty.
  platform::ThreadHandle take_next();
  bool ordered_empty();
  bool immediate_empty();
  bool empty();

  // The number of handles a ring has room for (tests watch its growth).
  uint32_t ring_capacity(int32_t level);

  // The queue's own lock, for the scheduler's shut-down, which must know that no
  // queue operation is under way.
  platform::Os::CriticalSection& lock() { return lock_; }

 private:
  struct Ring {
    std::unique_ptr<platform::ThreadHandle[]> entries;
    uint32_t capacity = 0;
    uint32_t head = 0;
    uint32_t tail = 0;

    bool is_empty() const { return head == tail; }
    uint32_t size() const { return (tail + capacity - head) % capacity; }
    bool grow();
    platform::ThreadHandle take();
  };

  Ring rings_[kLevels];
  platform::Os::CriticalSection lock_;
};

}  // namespace telvarn
