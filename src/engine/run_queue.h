// RunQueue: six rings of queued jobs, one per queue level.
//
// Contracts:
// - Level 0 is the immediate level; levels 1 to 5 are the ordinary levels, 1 first.
// - Each ring starts with room for 128 jobs and doubles whenever it would fill, so
//   a ring never loses a job; rings never shrink.
// - The queue has no lock of its own: its owner, the scheduler, calls it with the
//   jobs lock held.
#pragma once

#include <cstdint>
#include <memory>

namespace telvarn {

struct Job;

class RunQueue {
 public:
  static constexpr int32_t kLevels = 6;
  static constexpr int32_t kImmediateLevel = 0;
  static constexpr uint32_t kInitialRingCapacity = 128;

  RunQueue();
  RunQueue(const RunQueue&) = delete;
  RunQueue& operator=(const RunQueue&) = delete;

  // Appends the job to its level's ring. False (nothing stored) for a level
  // outside 0-5 or when a full ring cannot grow; queued jobs are never lost.
  bool push(Job* job, int32_t level);
  // Puts a job just taken back at the head of its level, as if never taken.
  bool push_front(Job* job, int32_t level);
  // Removes the job from its level wherever it stands; false when it is not there.
  bool remove(Job* job, int32_t level);
  // The oldest job of level 0; nullptr when it is empty.
  Job* take_immediate();
  // The oldest job of the lowest non-empty level, level 0 included; nullptr when
  // every level is empty.
  Job* take_next();
  bool ordinary_empty() const;
  bool immediate_empty() const;
  bool empty() const;

 private:
  struct Ring {
    std::unique_ptr<Job*[]> entries;
    uint32_t capacity = 0;
    uint32_t head = 0;
    uint32_t tail = 0;

    bool is_empty() const { return head == tail; }
    uint32_t size() const { return capacity == 0 ? 0 : (tail + capacity - head) % capacity; }
    // Makes room for one more job; false when the ring cannot grow.
    bool reserve_one();
    Job* take();
  };

  Ring rings_[kLevels];
};

}  // namespace telvarn
