// The run queue's rings: growth by doubling in queue order, takes, returns and removals.
#include "engine/run_queue.h"

#include <new>

namespace telvarn {

RunQueue::RunQueue() {
  for (Ring& ring : rings_) {
    ring.entries.reset(new (std::nothrow) Job*[kInitialRingCapacity]);
    ring.capacity = ring.entries ? kInitialRingCapacity : 0;
  }
}

// Grows before the store that would fill the ring: a full ring would look empty
// (head == tail), and a failed growth must not cost the jobs already queued.
bool RunQueue::Ring::reserve_one() {
  if (capacity != 0 && size() < capacity - 1) return true;
  const uint32_t new_capacity = capacity == 0 ? kInitialRingCapacity : capacity * 2;
  if (new_capacity < capacity) return false;
  std::unique_ptr<Job*[]> grown(new (std::nothrow) Job*[new_capacity]);
  if (!grown) return false;
  const uint32_t count = size();
  for (uint32_t i = 0; i < count; ++i) grown[i] = entries[(head + i) % capacity];
  entries = std::move(grown);
  capacity = new_capacity;
  head = 0;
  tail = count;
  return true;
}

Job* RunQueue::Ring::take() {
  if (is_empty()) return nullptr;
  Job* job = entries[head];
  head = (head + 1) % capacity;
  return job;
}

bool RunQueue::push(Job* job, int32_t level) {
  if (level < 0 || level >= kLevels) return false;
  Ring& ring = rings_[level];
  if (!ring.reserve_one()) return false;
  ring.entries[ring.tail] = job;
  ring.tail = (ring.tail + 1) % ring.capacity;
  return true;
}

bool RunQueue::push_front(Job* job, int32_t level) {
  if (level < 0 || level >= kLevels) return false;
  Ring& ring = rings_[level];
  if (!ring.reserve_one()) return false;
  ring.head = (ring.head + ring.capacity - 1) % ring.capacity;
  ring.entries[ring.head] = job;
  return true;
}

bool RunQueue::remove(Job* job, int32_t level) {
  if (level < 0 || level >= kLevels) return false;
  Ring& ring = rings_[level];
  const uint32_t count = ring.size();
  for (uint32_t i = 0; i < count; ++i) {
    if (ring.entries[(ring.head + i) % ring.capacity] != job) continue;
    for (uint32_t j = i; j + 1 < count; ++j) {
      ring.entries[(ring.head + j) % ring.capacity] = ring.entries[(ring.head + j + 1) % ring.capacity];
    }
    ring.tail = (ring.tail + ring.capacity - 1) % ring.capacity;
    return true;
  }
  return false;
}

Job* RunQueue::take_immediate() { return rings_[kImmediateLevel].take(); }

Job* RunQueue::take_next() {
  for (Ring& ring : rings_) {
    if (!ring.is_empty()) return ring.take();
  }
  return nullptr;
}

bool RunQueue::ordinary_empty() const {
  for (int32_t level = 1; level < kLevels; ++level) {
    if (!rings_[level].is_empty()) return false;
  }
  return true;
}

bool RunQueue::immediate_empty() const { return rings_[kImmediateLevel].is_empty(); }

bool RunQueue::empty() const {
  for (const Ring& ring : rings_) {
    if (!ring.is_empty()) return false;
  }
  return true;
}

}  // namespace telvarn
