// IoSlot, the record of one IO, and the slot table that maps IO numbers to records.
//
// Contracts:
// - A record is allocated once, when its IO is first registered, and lives at the
//   same address until the table is destroyed. Growth moves only the arrays of
//   pointers and numbers, never a record.
// - Lookup and registration take the table's own lock, so host threads may
//   register and use IOs at the same time; an IO number is registered once.
// - Within a record, the bindings and the key belong to the exports, which change
//   them under `exports_lock` and only while no job is launched, running or
//   suspended on the IO. A launch moves the bindings into its job, which never
//   touches them in the record: the job reaches the record only to publish its
//   state, under the jobs lock and only while it is still the IO's job.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "telvarn.h"

namespace telvarn {

// What a stream binding reads or writes.
enum class StreamKind : int32_t { kNone, kFile, kMemory };

inline constexpr size_t kKeyAreaSize = 4096;

// One direction of an IO: its input or its output, which have the same shape.
struct StreamBinding {
  // The open stream of a file binding; nullptr whenever no stream is open, so that
  // nothing is ever closed twice.
  std::FILE* file = nullptr;
  bool bound = false;
  StreamKind kind = StreamKind::kNone;
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

// A job's input as IO_Progress reports it: bytes fed to the algorithm, and the
// input's length (-1 where it cannot be known, as for a pipe).
struct InputProgress {
  uint64_t consumed = 0;
  int64_t total = -1;
};

struct Job;

struct IoSlot {
  StreamBinding input;
  StreamBinding output;
  // From position 0 the plain key or an RSA key's first section as hexadecimal
  // text; from position 1024 the RSA key's second section. Cleared at creation.
  uint8_t key_area[kKeyAreaSize] = {};
  // The id of the thread that runs the IO's last asynchronous job (0 for one run
  // on the caller's thread). A record only; nothing reads it. Written under the
  // jobs lock.
  uint32_t job_thread_id = 0;
  // A TELVARN_JOB_* state, which IO_State reports negated. Written under the jobs
  // lock, read without it (a whole 32-bit load).
  std::atomic<int32_t> job_state{TELVARN_JOB_IDLE};
  // The IO's job while it is launched, running or suspended, else nullptr; the
  // record holds a reference to it. Guarded by the jobs lock.
  Job* job = nullptr;
  // Whether the IO's last job has finished and the IO has been neither bound nor
  // re-initialised since, and that job's final progress. Guarded by the jobs lock.
  bool last_job_finished = false;
  InputProgress last_job_progress;
  // True while the IO has a job launched, running or suspended: read from the
  // state, so that no lock is needed.
  bool has_live_job() const {
    const int32_t state = job_state.load();
    return state == TELVARN_JOB_LAUNCHED || state == TELVARN_JOB_RUNNING || state == TELVARN_JOB_SUSPENDED;
  }
  // Serialises the exports that change the record (initialise, bind, key,
  // launch) when host threads call them on one IO at once.
  platform::Os::Mutex exports_lock;
};

class SlotTable {
 public:
  static constexpr int32_t kInitialCapacity = 8;

  // Allocation failures leave the table empty; registration then fails cleanly.
  SlotTable();
  // Destroys every record: its output file is closed first, then its input file.
  // A record whose job is still launched, running or suspended (possible only when
  // the process ends under a live job) is left as it is, not freed.
  ~SlotTable();
  SlotTable(const SlotTable&) = delete;
  SlotTable& operator=(const SlotTable&) = delete;

  // Linear scan in registration order; nullptr for an absent IO.
  IoSlot* find(int32_t io) const;
  // The IO's record, registered with a new, cleared record if the IO is absent.
  // nullptr when memory runs out (nothing is registered then).
  IoSlot* find_or_register(int32_t io);

 private:
  IoSlot* find_locked(int32_t io) const;
  bool grow();

  mutable platform::Os::Mutex lock_;

  IoSlot** slots_ = nullptr;
  int32_t* io_ids_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace telvarn
