// The run queue's rings: growth by doubling in queue order, and the take operations.
#include "engine/run_queue.h"

#include <new>

namespace telvarn {

using platform::ThreadHandle;
using Lock = platform::ScopedLock<platform::Os::CriticalSection>;

RunQueue::RunQueue() {
  for (Ring& ring : rings_) {
    ring.entries.reset(new (std::nothrow) ThreadHandle[kInitialRingCapacity]);
    ring.capacity = ring.entries ? kInitialRingCapacity : 0;
  }
}

bool RunQueue::Ring::grow() {
  uint32_t new_capacity = capacity == 0 ? kInitialRingCapacity : capacity * 2;
  if (new_capacity < capacity) return false;
  std::unique_ptr<ThreadHandle[]> grown(new (std::nothrow) ThreadHandle[new_capacity]);
  if (!grown) return false;
  uint32_t count = capacity == 0 ? 0 : size();
  for (uint32_t i = 0; i < count; ++i) grown[i] = entries[(head + i) % capacity];
  entries = std::move(grown);
  capacity = new_capacity;
  head = 0;
  tail = count;
  return true;
}

ThreadHandle RunQueue::Ring::take() {
  if (is_empty()) return nullptr;
  ThreadHandle handle = entries[head];
  head = (head + 1) % capacity;
  return handle;
}

bool RunQueue::push(ThreadHandle handle, int32_t level) {
  if (level < 0 || level >= kLevels) return false;
  Lock lock(lock_);
  Ring& ring = rings_[level];
  // Grow before the store that would fill the ring: a full ring would look empty
  // (head == tail), and a failed growth must not cost the handles already queued.
  if ((ring.capacity == 0 || ring.size() == ring.capacity - 1) && !ring.grow()) return false;
  ring.entries[ring.tail] = handle;
  ring.tail = (ring.tail + 1) % ring.capacity;
  return true;
}

ThreadHandle RunQueue::take_immediate() {
  Lock lock(lock_);
  return rings_[kImmediateLevel].take();
}

ThreadHandle RunQueue::take_next() {
  Lock lock(lock_);
  for (Ring& ring : rings_) {
    if (!ring.is_empty()) return ring.take();
  }
  return nullptr;
}

bool RunQueue::ordered_empty() {
  Lock lock(lock_);
  for (int32_t level = 1; level < kLevels; ++level) {
    if (!rings_[level].is_empty()) return false;
  }
  return true;
}

bool RunQueue::immediate_empty() {
  Lock lock(lock_);
  return rings_[kImmediateLevel].is_empty();
}

bool RunQueue::empty() {
  Lock lock(lock_);
  for (const Ring& ring : rings_) {
    if (!ring.is_empty()) return false;
  }
  return true;
}

uint32_t RunQueue::ring_capacity(int32_t level) {
  Lock lock(lock_);
  return rings_[level].capacity;
}

}  // namespace telvarn
