// The worker frame that every job runs: read the input in spans of whole chunks, feed
// the algorithm, deliver the result text, close the files, mark the job finished.
//
// Contracts:
// - A job runs on the thread the scheduler made for it (asynchronous) or on the
//   caller's (synchronous), with its Job as the only argument, and touches nothing
//   but that job, its chunk buffer and its algorithm; the IO's record it reaches
//   only through the job's transitions (engine/job.h).
// - The input is cut into chunks (JobShape), and the algorithm is fed spans: as
//   many whole chunks as lie ready at once, up to the shape's span_bytes
//   (kSpanBytes, 64 KiB; a file block, 1 MiB, for BLAKE3, which shares a span
//   among threads); the last chunk of the input may be short. Suspension and
//   cancellation take effect at span boundaries, so a held job never holds a
//   stream or a runtime lock, and a job runs on for at most one span after either.
// - A file result is written in one call straight to the file, past the stream's
//   buffer, through the job's `stream_io`, so that a cancellation either lets it
//   complete first or stops it before a byte is written (engine/job.h).
// - Every job that is not cancelled ends with job_state TELVARN_JOB_FINISHED. A job
//   whose input cannot be read to its end (a read error, not the end of the input)
//   delivers no result: a memory output stays untouched, an output file stays empty.
// - After each span the job's `consumed` count and input.pos are stored (the count
//   with one relaxed store), so that IO_Progress can follow the job without ever
//   waiting for it.
// - Spans are views: a memory input is fed to the algorithm where it lies, and a
//   regular file is read in blocks of 1 MiB that the spans are cut from, straight
//   from the file and, for a large file, a block ahead on a reader thread; a pipe
//   or device is read through the job's `stream_io`, up to 64 KiB a read, and
//   whatever whole chunks a read brought are fed in place, a chunk split across
//   reads gathered until it is full. For spans larger than a read (BLAKE3) the
//   reads are gathered until a span is full or the stream ends, so that a pipe's
//   spans can be shared among threads too; such a job's progress then trails the
//   writer by up to a span, and once asked to hold or stop it gathers no further
//   than its next whole chunk.
//   The bytes and their order are what reading each chunk on its own would give,
//   and every span ends on a chunk boundary; the views spare the copy and the
//   many small reads, the spans a call into the algorithm per chunk.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "slot_table/slot_table.h"
#include "digest/file_blocks.h"
#include "engine/job.h"
#include "platform/aligned_buffer.h"
#include "platform/platform.h"
#include "telvarn.h"

namespace telvarn {

// What a job adds to the frame: its algorithm, fed chunk by chunk, and its text.
class JobAlgorithm {
 public:
  virtual ~JobAlgorithm() = default;
  virtual void Update(const uint8_t* bytes, size_t count) = 0;
  // Writes the result text: exactly the job's result length in characters, then a NUL.
  virtual void Finish(char* text) = 0;
};

// Chunk sizes: a file input is cut in chunks of kFileChunkBytes (CRC-16: of
// kMemoryChunkBytes), a memory input in chunks of kMemoryChunkBytes.
inline constexpr uint32_t kFileChunkBytes = 4096;
inline constexpr uint32_t kMemoryChunkBytes = 1024;
inline constexpr uint32_t kMaxChunk = kFileChunkBytes;
// The most input the algorithm is handed at once, a stream read's worth: a call's
// set-up (state loaded and stored, the job's bookkeeping) then comes once per
// 64 KiB instead of once per chunk (bench/README.md, "Spans, not chunks"), and a
// job suspended or cancelled runs on for at most one span (about 0.1 ms at MD5's
// 700 MB/s).
inline constexpr uint32_t kSpanBytes = 64 * 1024;
static_assert(kSpanBytes % kFileChunkBytes == 0 && kSpanBytes % kMemoryChunkBytes == 0,
              "a span is whole chunks");
static_assert(FileBlocks::kBlockBytes % kSpanBytes == 0, "a file block is whole spans");
inline constexpr uint32_t kMaxResultLength = TELVARN_DIGEST_TEXT_MAX;
// A result written into a pipe lands whole or not at all.
static_assert(kMaxResultLength <= platform::kAtomicWriteBytes);

struct JobShape {
  uint32_t file_chunk;     // chunk size while the input is a file
  uint32_t memory_chunk;   // chunk size otherwise
  uint32_t result_length;  // characters delivered
  // The most a span of memory or of a regular file holds (a stream's spans stay
  // within one read): kSpanBytes, or up to a file block for an algorithm that
  // shares each span among threads (BLAKE3), whose set-up per span is larger.
  uint32_t span_bytes = kSpanBytes;
};

// The spans of one job's input, in order.
class SpanReader {
 public:
  // Chooses how the bound input is read, once: a regular file in blocks, anything
  // else through `io`, which the job's cancellation interrupts: each read takes
  // whatever the stream holds, and the spans are cut from what the reads gathered.
  // `file_length` is a file input's length when it is a regular file, -1 when it
  // is not (Os::regular_file_size); other inputs ignore it. `attention` is the
  // job's: once it is set, a stream's reads gather no further than a whole chunk.
  SpanReader(const StreamBinding& input, int64_t file_length, uint32_t chunk_size, uint32_t span_bytes,
             platform::Os::BlockingIo& io, const std::atomic<bool>& attention);
  SpanReader(const SpanReader&) = delete;
  SpanReader& operator=(const SpanReader&) = delete;

  // The next span: whole chunks of chunk_size, up to span_bytes, only the input's
  // last chunk short. *bytes points at count bytes that stay valid until the next
  // call; 0 when no more input is to be read. Advances input.pos (saturating at
  // INT32_MAX).
  int32_t ReadSpan(StreamBinding& input, const uint8_t** bytes);
  // A read failed (or was interrupted) before the input's end.
  bool failed() const { return failed_; }

 private:
  int32_t ReadFileSpan(StreamBinding& input, const uint8_t** bytes);
  size_t ReadStagedSpan(StreamBinding& input, const uint8_t** bytes);
  void Gather(StreamBinding& input);

  const uint32_t chunk_size_;
  const uint32_t span_bytes_;
  platform::Os::BlockingIo& io_;
  const std::atomic<bool>& attention_;
  bool failed_ = false;
  bool ended_ = false;
  std::unique_ptr<FileBlocks> blocks_;  // null: the file is a stream, read through staged_
  const uint8_t* block_ = nullptr;
  size_t block_pos_ = 0;
  size_t block_end_ = 0;
  // A stream's bytes as its reads gave them, handed out in spans of whole chunks;
  // null when the buffer could not be had, and each chunk is then read on its own.
  platform::AlignedBuffer staged_;
  size_t staged_capacity_ = 0;
  size_t staged_pos_ = 0;
  size_t staged_end_ = 0;
  uint8_t chunk_[kMaxChunk];
};

// The whole frame on the calling thread.
void RunJob(Job& job, JobAlgorithm& algorithm, const JobShape& shape);

// Algorithm is a JobAlgorithm with a static kShape, built either from nothing or
// from the key the job took at launch (a keyed job).
template <class Algorithm>
inline constexpr bool kKeyedAlgorithm = std::is_constructible_v<Algorithm, const uint8_t*>;

template <class Algorithm>
void RunJobOf(Job& job) {
  if constexpr (kKeyedAlgorithm<Algorithm>) {
    Algorithm algorithm(job.key.get());
    RunJob(job, algorithm, Algorithm::kShape);
  } else {
    Algorithm algorithm;
    RunJob(job, algorithm, Algorithm::kShape);
  }
}

// The whole job for an export: the launcher copies the key exactly when the
// algorithm is built from one.
template <class Algorithm>
inline constexpr JobKind kJobOf = [] {
  constexpr JobShape shape = Algorithm::kShape;
  static_assert(shape.span_bytes % shape.file_chunk == 0 && shape.span_bytes % shape.memory_chunk == 0 &&
                    FileBlocks::kBlockBytes % shape.span_bytes == 0,
                "a span is whole chunks, and a file block whole spans");
  return JobKind{&RunJobOf<Algorithm>, kKeyedAlgorithm<Algorithm>};
}();

}  // namespace telvarn
