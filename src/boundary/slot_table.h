// IoSlot, the record of one IO, and the slot table that maps IO numbers to records.
//
// Contracts:
// - A record is allocated once, when its IO is first registered, and lives at the
//   same address until the table is destroyed; worker threads hold that address.
//   Growth moves only the arrays of pointers and numbers, never a record.
// - The table has no lock: only the host's calling thread (one at a time) and the
//   module's shut-down use it. A worker thread touches its own record alone.
// - Within a record, `job_state` is shared with the IO's worker thread; the
//   bindings and the key belong to whoever holds the IO: the exports while no job
//   is launched, running or suspended, the worker while one is.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace telvarn {

inline constexpr int32_t kStreamNone = 0;
inline constexpr int32_t kStreamFile = 1;
inline constexpr int32_t kStreamMemory = 2;

// Job states held in IoSlot::job_state; _Telvarn_IO_State@16 reports them negated.
inline constexpr int32_t kJobIdle = 0;
inline constexpr int32_t kJobLaunched = 1;
inline constexpr int32_t kJobRunning = 2;
inline constexpr int32_t kJobSuspended = 3;
inline constexpr int32_t kJobFinished = 4;

inline constexpr size_t kKeyAreaSize = 4096;

// One direction of an IO: its input (`input_file`, `input_bound`, `input_kind`,
// `input_size`, `input_pos`, `input_data`) or its output, which has the same shape.
struct StreamBinding {
  // The open stream of a file binding; nullptr whenever no stream is open, so that
  // nothing is ever closed twice.
  std::FILE* file = nullptr;
  bool bound = false;
  int32_t kind = kStreamNone;
  // Memory: the length in bytes. File: the file's length at binding, capped at
  // INT32_MAX (a file input is read to its end whatever this says).
  int32_t size = 0;
  int32_t pos = 0;
  uint8_t* data = nullptr;
  // Memory output bound with an explicit positive length: jobs write no more than
  // `size` bytes into it.
  bool size_explicit = false;
};

// Closes the direction's stream if one is open.
void CloseStream(StreamBinding& binding);

struct IoSlot {
  StreamBinding input;
  StreamBinding output;
  // From position 0 the plain key or an RSA key's first section as hexadecimal
  // text; from position 1024 the RSA key's second section. Cleared at creation.
  uint8_t key_area[kKeyAreaSize] = {};
  uint32_t job_thread_id = 0;
  // Written by the exports and the worker; moved between running and suspended
  // only by compare-and-exchange, so a finished job is never marked suspended.
  std::atomic<int32_t> job_state{kJobIdle};
  // The handle of the last asynchronous job's worker thread as the launcher made
  // it (empty after a synchronous job, which runs on the caller's thread; its
  // job_thread_id is then 0). A record only: its owner (the scheduler, or the
  // launcher when it starts the job at once) closes it, so nothing waits on it;
  // waits use job_ended instead.
  platform::ThreadHandle job_thread = nullptr;
  // Manual-reset: cleared at launch, set by the worker when its job has ended
  // (results delivered, files closed), before job_state becomes 4.
  platform::Os::Event job_ended{platform::EventReset::kManual};
  // A suspended worker waits on this at its next chunk boundary until resumed.
  platform::Os::Event resume_event;
};

class SlotTable {
 public:
  static constexpr int32_t kInitialCapacity = 8;

  // Allocation failures leave the table empty; registration then fails cleanly.
  SlotTable();
  // Destroys every record: its output file is closed first, then its input file.
  // A record whose job is still launched, running or suspended (possible only when
  // the process ends under a live worker) is left to that worker, not freed.
  ~SlotTable();
  SlotTable(const SlotTable&) = delete;
  SlotTable& operator=(const SlotTable&) = delete;

  // Linear scan in registration order; nullptr for an absent IO.
  IoSlot* find(int32_t io) const;
  // Appends a new, cleared record for an IO number that find() does not know.
  // nullptr when memory runs out (nothing is registered then).
  IoSlot* register_io(int32_t io);

  int32_t count() const { return count_; }
  int32_t capacity() const { return capacity_; }

 private:
  bool grow();

  IoSlot** slots_ = nullptr;
  int32_t* io_ids_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace telvarn
