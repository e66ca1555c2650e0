// The worker frame that every job runs: read the input in chunks, feed the algorithm,
// deliver the result text, release the bindings, mark the job finished.
//
// Contracts:
// - A worker runs on its own thread with its IoSlot as the only argument and
//   touches nothing but that record, its chunk buffer and its algorithm.
// - The frame sets job_state 2 on entry and 4 as its last write to the record;
//   once a reader sees 4 the record is the host's again.
// - Suspension takes effect at chunk boundaries: a worker found suspended before a
//   read (or before it finishes) waits on the record's resume_event, so it never
//   holds a stream or a runtime lock while held.
// - Every job ends with job_state 4; the frame has no error path.
// - Chunks are views: a memory input is fed to the algorithm where it lies, and a
//   regular file is read ahead in blocks of 256 KiB that the chunks are cut from.
//   The chunk sizes, the order of the bytes, input.pos after every chunk and the
//   suspension points are those of a frame that copies every chunk into a buffer
//   of its own; only the copying and the many small reads are gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "boundary/slot_table.h"
#include "platform/platform.h"

namespace telvarn {

// What a job adds to the frame: its algorithm, fed chunk by chunk, and its text.
class JobAlgorithm {
 public:
  virtual ~JobAlgorithm() = default;
  virtual void Update(const uint8_t* bytes, size_t count) = 0;
  // Writes the result text: exactly the job's result length in characters, then a NUL.
  virtual void Finish(char* text) = 0;
};

struct JobShape {
  uint32_t file_chunk;     // chunk size while the input is a file
  uint32_t memory_chunk;   // chunk size otherwise
  uint32_t result_length;  // characters delivered
};

inline constexpr uint32_t kMaxChunk = 4096;
inline constexpr uint32_t kMaxResultLength = 128;


// The chunks of one job's input, in order.
class ChunkReader {
 public:
  // A multiple of every chunk size. Reads of 256 KiB beat both smaller ones and
  // 1 MiB ones under Wine: the block stays in the core's cache between the copy
  // from the page cache and the digest's pass over it.
  static constexpr size_t kBlockBytes = size_t{256} << 10;

  explicit ChunkReader(uint32_t chunk_size) : chunk_size_(chunk_size) {}
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // The next chunk: *bytes points at count bytes that stay valid until the next
  // call; 0 when no more input is to be read. Advances input.pos (saturating at
  // INT32_MAX).
  int32_t ReadChunk(IoSlot& slot, const uint8_t** bytes);

 private:
  int32_t ReadFileChunk(StreamBinding& input, const uint8_t** bytes);

  const uint32_t chunk_size_;
  bool file_reading_chosen_ = false;
  std::unique_ptr<uint8_t[]> block_;  // null: the file is read chunk by chunk into chunk_
  size_t block_pos_ = 0;
  size_t block_end_ = 0;
  uint8_t chunk_[kMaxChunk];
};
// Writes the text's `length` characters to the bound output, if any.
void DeliverResult(IoSlot& slot, const char* text, uint32_t length);
// Closes the job's files, releases both bindings and marks the job finished.
void CloseJob(IoSlot& slot);

// The whole frame on the calling thread.
void RunJob(IoSlot& slot, JobAlgorithm& algorithm, const JobShape& shape);

// A whole job on the calling thread: Job is a JobAlgorithm with a static kShape,
// built either from nothing or from the IO's record (a job that reads its key).
template <class Job>
void RunJobHere(IoSlot& slot) {
  if constexpr (std::is_constructible_v<Job, const IoSlot&>) {
    Job job(slot);
    RunJob(slot, job, Job::kShape);
  } else {
    Job job;
    RunJob(slot, job, Job::kShape);
  }
}

// The thread routine of a job. It ends through the platform's pinned exit, since
// the launcher pinned the module for it.
template <class Job>
uint32_t TELVARN_STDCALL RunWorker(void* slot_arg) {
  RunJobHere<Job>(*static_cast<IoSlot*>(slot_arg));
  platform::Os::leave_pinned_thread(0);
  return 0;
}

}  // namespace telvarn
