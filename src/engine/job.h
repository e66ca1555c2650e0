// A launched job, and the transitions of its life: start, suspension, cancellation, end.
//
// Contracts:
// - One module-wide lock, the jobs lock, guards every job's flags, every IO's
//   `job` and the writes of its `job_state`, and the scheduler's queue and counts.
//   Nobody holds it while reading input or hashing, so host calls never wait for
//   a job's work.
// - A job owns what it reads and writes: the bindings moved out of its IO at
//   launch, and its key. It reaches its IO's record only to publish its state,
//   under the jobs lock, and only while it is still the IO's job; once the IO has
//   been re-initialised the job never touches the record again.
// - References keep a job alive: one for whoever runs it (the run queue, then its
//   thread; or the caller of a synchronous launch), one for its IO while it is the
//   IO's job, and one for each host thread waiting on it.
// - Suspension and cancellation take effect at span boundaries (the worker frame
//   feeds its algorithm spans of whole chunks, up to 64 KiB): the job's thread
//   looks at `attention` before each span and waits only on its own job's
//   condition variable, so an older job can never wake for a newer one on the
//   same IO.
// - A suspended job holds where it stands; a cancelled one stops at its next
//   span boundary, writes no result it has not begun to write, closes its files
//   and ends.
// - A job's reads of a pipe or device input and its write of a file result go
//   through `stream_io`, which a cancellation interrupts before it returns: a read
//   blocked on a silent pipe ends at once, and a result is either wholly written
//   before the cancellation returns or never written at all. The write of a
//   regular file is waited for (at most kMaxResultLength characters); a write
//   blocked on a pipe whose reader does not read is stopped, writing nothing.
// - While a job reads a memory input it holds `memory_input_lock`; a cancellation
//   takes and drops it before it returns, so that the host may reuse the memory at
//   once.
// - The end: a job delivers its result, closes its files, then turns its IO's state
//   to TELVARN_JOB_FINISHED and sets `ended` in one step under the lock. From the moment it
//   commits to delivering (`delivering`) it can no longer be suspended.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "slot_table/slot_table.h"
#include "platform/platform.h"

namespace telvarn {

// A 32-bit host reads the consumed count whole while the job's thread writes it.
static_assert(std::atomic<uint64_t>::is_always_lock_free);

struct Job;

// What a job export launches: the whole job, run on some thread, and whether it
// reads the IO's key.
struct JobKind {
  void (*run)(Job& job);
  bool keyed;
};

struct Job {
  Job(const JobKind& job_kind, IoSlot& io_slot, int32_t queue_level)
      : kind(job_kind), slot(io_slot), level(queue_level) {}
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  // Closes any stream the job still holds.
  ~Job();

  const JobKind& kind;
  IoSlot& slot;
  const int32_t level;
  StreamBinding input;
  StreamBinding output;
  // The IO's key at launch, NUL-terminated, for a keyed job; else empty.
  std::unique_ptr<uint8_t[]> key;
  bool memory_input = false;
  // The input's length in bytes, taken at launch: a regular file's, a memory
  // binding's, 0 with no input bound; -1 for a pipe or a device, whose length
  // nobody knows before its end.
  int64_t input_total = -1;
  // Input bytes fed to the algorithm so far, for IO_Progress: the job's thread
  // stores it once a span, and anyone may read it. Relaxed, since it only counts
  // and orders nothing else.
  std::atomic<uint64_t> consumed{0};

  // Guarded by the jobs lock.
  bool suspended = false;
  bool cancelled = false;
  bool delivering = false;
  bool ended = false;
  // suspended || cancelled, for the look at each span boundary without the lock.
  std::atomic<bool> attention{false};
  platform::Os::ConditionVariable changed;
  platform::Os::Mutex memory_input_lock;
  platform::Os::BlockingIo stream_io;
  std::atomic<int32_t> references{1};
};

using JobsLockHold = platform::ScopedLock<platform::Os::Mutex>;
platform::Os::Mutex& JobsLock();

void AddReference(Job& job);
// Drops a reference; the last one deletes the job, which needs no lock, so the
// jobs lock may be held.
void Release(Job* job);

// The job's side, for the worker frame.
// Marks the job running; false when it was cancelled before it started.
bool StartJob(Job& job);
// At a span boundary where `attention` was seen: holds while the job is
// suspended; false once it is cancelled.
bool HoldWhileSuspended(Job& job);
// After the last span: holds while suspended, then commits to delivering.
// Writes a memory result (`text` of `length` characters, nullptr for none) under
// the lock, so that a host that cancels sees no write after its call. Returns
// whether a file result is still to be written.
bool CommitResult(Job& job, const char* text, uint32_t length);
// Closes the job's files, publishes TELVARN_JOB_FINISHED and the job's final
// progress to its IO (if still its job) and signals the end.
void EndJob(Job& job);

// The host's side, with the IO's exports_lock held.
// Cancels the IO's live job, if any, and sets the IO idle: never waits for the
// job, only for the span of host memory it may be reading and for a write of its
// result to a regular file already under way. The IO's own bindings are left to
// the caller.
void CancelJobOf(IoSlot& slot);

}  // namespace telvarn
