// The job launcher: a synchronous run on the caller's thread, or a job handed to the scheduler.
#include "engine/job_launcher.h"

#include <cstring>
#include <new>

#include "engine/module.h"

namespace telvarn {
namespace {

// Moves a binding, stream included, leaving the source unbound.
void MoveBinding(StreamBinding& from, StreamBinding& to) {
  to = from;
  from = StreamBinding{};
}

// The input's length for IO_Progress: a regular file's (to 64 bits) or a memory
// binding's; 0 for no input, which the job digests as empty; -1 for a pipe or
// device.
int64_t InputTotal(const StreamBinding& input) {
  if (!input.bound) return 0;
  if (input.kind == StreamKind::kMemory) return input.size > 0 ? input.size : 0;
  if (input.kind == StreamKind::kFile && input.file != nullptr) return platform::Os::regular_file_size(input.file);
  return 0;
}

// Priority argument 1-6 to queue level 0-5; any other value to level 3.
int32_t QueueLevelForPriority(int32_t priority) {
  const bool in_range = priority >= TELVARN_PRIORITY_IMMEDIATE && priority <= TELVARN_PRIORITY_LOWEST;
  return (in_range ? priority : TELVARN_PRIORITY_NORMAL) - TELVARN_PRIORITY_IMMEDIATE;
}

// The key text's length: the key area's bytes before its first NUL.
size_t KeyTextLength(const uint8_t* key) {
  size_t length = 0;
  while (length < kKeyAreaSize && key[length] != 0) ++length;
  return length;
}

}  // namespace

int32_t LaunchJob(int32_t io, int32_t async_flag, int32_t priority, const JobKind& kind, KeyCheck accepts_key) {
  IoSlot* slot = module::slot_table().find(io);
  if (slot == nullptr) return -1;
  Job* job = nullptr;
  {
    platform::ScopedLock<platform::Os::Mutex> exports(slot->exports_lock);
    if (slot->has_live_job()) return -1;
    job = new (std::nothrow) Job(kind, *slot, QueueLevelForPriority(priority));
    if (job == nullptr) return -1;
    if (kind.keyed) {
      job->key.reset(new (std::nothrow) uint8_t[kKeyAreaSize]);
      if (!job->key) {
        delete job;
        return -1;
      }
      std::memcpy(job->key.get(), slot->key_area, kKeyAreaSize);
      if (accepts_key != nullptr && !accepts_key(job->key.get(), KeyTextLength(job->key.get()))) {
        delete job;
        return -1;
      }
    }
    // Before the jobs lock is taken: making the scheduler thread takes the
    // system's own locks, which must never nest inside it.
    if (async_flag != TELVARN_RUN_NOW && !module::scheduler().prepare_launch()) {
      delete job;
      return -1;
    }
    MoveBinding(slot->input, job->input);
    MoveBinding(slot->output, job->output);
    job->memory_input = job->input.bound && job->input.kind == StreamKind::kMemory;
    job->input_total = InputTotal(job->input);

    JobsLockHold hold(JobsLock());
    const int32_t previous_state = slot->job_state.load();
    slot->job = job;
    AddReference(*job);
    slot->job_state.store(TELVARN_JOB_LAUNCHED);
    if (async_flag == TELVARN_RUN_NOW) {
      slot->job_thread_id = 0;
      module::scheduler().note_synchronous_launch();
    } else if (!module::scheduler().enqueue(job)) {
      slot->job = nullptr;
      slot->job_state.store(previous_state);
      MoveBinding(job->input, slot->input);
      MoveBinding(job->output, slot->output);
      delete job;
      return -1;
    }
  }
  if (async_flag == TELVARN_RUN_NOW) {
    job->kind.run(*job);
    Release(job);
  }
  return 0;
}

}  // namespace telvarn
