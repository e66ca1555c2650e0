// Blake3SharedHasher: BLAKE3 of one message whose large spans are shared among a job's helper threads.
//
// Each span of at least kSharedBytes is cut, from the hasher's position, into
// complete subtrees (the plan of digest/blake3.h), the largest a thread's share
// allows; the crew hashes them at once, and the hasher takes their chaining values
// in message order, then the span's last bytes itself, so that the message never
// ends in a subtree and the result is the one-thread result. Smaller spans, and
// every span when the crew has no helper, go through the hasher alone.
// The crew is made at the first shared span and ends with this object (a job's
// helpers end with the job: digest/helper_crew.h). Hashers that ask for this
// process's count draw their helpers from one module-wide budget of
// HelpersForThisProcess(): many BLAKE3 jobs at once never hold more helpers than
// there are further processors, and a hasher that finds the budget spent hashes
// alone until a later span finds some free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "digest/blake3.h"
#include "digest/helper_crew.h"

namespace telvarn {

class Blake3SharedHasher {
 public:
  // The least span worth sharing, half a file block: measured with one helper
  // (bench/blake3_rate.cpp, 16-way kernel), sharing 256 KiB spans about breaks
  // even with hashing them alone, 512 KiB ones gain a quarter, 1 MiB ones 45%.
  static constexpr size_t kSharedBytes = 512 * 1024;

  // Draws on the module-wide budget at the first span worth sharing; the budget's
  // size, HelpersForThisProcess, is asked once in the process's life and only
  // then: the question costs a system call (under Wine a round trip to its
  // server), which a small job should not pay.
  static constexpr uint32_t kHelpersForThisProcess = UINT32_MAX;

  // `key`: 32 bytes for the keyed hash, null for the hash. `helpers`: the threads
  // besides the caller's (kHelpersForThisProcess, or any count for tests and
  // measurements, outside the budget).
  // `shared_bytes`: the least span shared (other values for measuring).
  Blake3SharedHasher(const uint8_t* key, uint32_t helpers, size_t shared_bytes = kSharedBytes);
  ~Blake3SharedHasher();
  Blake3SharedHasher(const Blake3SharedHasher&) = delete;
  Blake3SharedHasher& operator=(const Blake3SharedHasher&) = delete;

  void Update(const uint8_t* bytes, size_t count);
  void Finalize(uint8_t out[kBlake3OutLength]) const;
  // The helper threads made so far.
  uint32_t helpers() const { return crew_ ? crew_->helpers() : 0; }

  // One helper for each processor the process may run on besides the job's own,
  // at most HelperCrew::kMostHelpers.
  static uint32_t HelpersForThisProcess();

 private:
  struct Piece {
    size_t offset;
    uint64_t chunks;
    uint64_t first_chunk;
    uint8_t cv[kBlake3CvLength];
  };
  static constexpr uint32_t kMostPieces = 64;
  static void HashPiece(void* self, uint32_t index);
  // The crew for the helpers asked for, or of the budget; false when there is
  // none to be had (no helper free or wanted, or no memory).
  bool MakeCrew();
  void ReturnToBudget();

  Blake3Hasher hasher_;
  bool keyed_;
  uint8_t key_[kBlake3KeyLength] = {};
  const uint32_t helpers_asked_;
  uint32_t budget_taken_ = 0;  // helpers this hasher holds of the budget
  const size_t shared_bytes_;
  std::unique_ptr<HelperCrew> crew_;
  // The span being shared, for the crew's tasks.
  const uint8_t* span_ = nullptr;
  Piece pieces_[kMostPieces];
};

}  // namespace telvarn
