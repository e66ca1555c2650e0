// The worker frame: reading in spans of whole chunks, suspension at span boundaries, delivery, closing.
#include "digest/worker_frame.h"

#include <climits>
#include <cstring>
#include <new>

namespace telvarn {
namespace {

using platform::Os;

// What one read of a stream may take. A read per 4 KiB chunk costs more than the
// chunk's digest (a system call each, under Wine a round trip to its server); a
// read still returns at once with whatever the stream holds, so a writer's bytes
// reach the job as they come.
constexpr size_t kStagedBytes = 64 * 1024;
static_assert(kStagedBytes >= kSpanBytes);

// The whole chunks among `available` bytes, at most a span's worth.
size_t WholeChunks(size_t available, uint32_t chunk_size, uint32_t span_bytes) {
  if (available > span_bytes) available = span_bytes;
  return available - available % chunk_size;
}

int32_t SaturatingAdd(int32_t pos, size_t count) {
  if (pos < 0) pos = 0;
  if (count > static_cast<size_t>(INT32_MAX - pos)) return INT32_MAX;
  return pos + static_cast<int32_t>(count);
}

}  // namespace

SpanReader::SpanReader(const StreamBinding& input, int64_t file_length, uint32_t chunk_size,
                       uint32_t span_bytes, platform::Os::BlockingIo& io, const std::atomic<bool>& attention)
    : chunk_size_(chunk_size), span_bytes_(span_bytes), io_(io), attention_(attention) {
  // Pipes and devices are read through `io_`, each read taking whatever the stream
  // holds, so that a writer's bytes reach the job as they come, not once a whole
  // block has gathered.
  if (!input.bound || input.kind != StreamKind::kFile || input.file == nullptr) return;
  if (file_length >= 0) {
    blocks_.reset(new (std::nothrow) FileBlocks(input.file, file_length));
    if (blocks_ && !blocks_->usable()) blocks_.reset();
  }
  if (blocks_) return;
  // Spans larger than a read are gathered from several reads, in a buffer of a
  // span; should that not be had, a read's worth does.
  if (span_bytes_ > kStagedBytes && staged_.Allocate(span_bytes_)) staged_capacity_ = span_bytes_;
  if (staged_capacity_ == 0 && staged_.Allocate(kStagedBytes)) staged_capacity_ = kStagedBytes;
}

int32_t SpanReader::ReadSpan(StreamBinding& input, const uint8_t** bytes) {
  if (!input.bound) return 0;
  if (input.kind == StreamKind::kFile) return ReadFileSpan(input, bytes);
  if (input.kind == StreamKind::kMemory) {
    if (input.pos >= input.size) return 0;
    // Every chunk of memory lies ready: a span is the rest of the input, or as
    // much as a span holds.
    int32_t count = input.size - input.pos;
    if (count > static_cast<int32_t>(span_bytes_)) count = static_cast<int32_t>(span_bytes_);
    *bytes = input.data + input.pos;
    input.pos += count;
    return count;
  }
  return 0;
}

int32_t SpanReader::ReadFileSpan(StreamBinding& input, const uint8_t** bytes) {
  if (input.file == nullptr) return 0;
  size_t count;
  if (blocks_ == nullptr && staged_.data() != nullptr) {
    count = ReadStagedSpan(input, bytes);
    if (count == 0) return 0;
  } else if (blocks_ == nullptr) {
    if (ended_ || failed_) return 0;
    count = 0;
    while (count < chunk_size_) {
      const int64_t n = io_.read(input.file, chunk_ + count, static_cast<uint32_t>(chunk_size_ - count));
      if (n == 0) ended_ = true;
      if (n < 0) failed_ = true;
      if (n <= 0) break;
      count += static_cast<size_t>(n);
    }
    *bytes = chunk_;
  } else {
    if (block_pos_ == block_end_) {
      block_end_ = blocks_->next(&block_);
      block_pos_ = 0;
      if (blocks_->failed()) failed_ = true;
      if (block_end_ == 0) return 0;
    }
    // A block is whole spans but at the file's end, where its last chunk may be short.
    count = block_end_ - block_pos_;
    if (count > span_bytes_) count = span_bytes_;
    *bytes = block_ + block_pos_;
    block_pos_ += count;
  }
  input.pos = SaturatingAdd(input.pos, count);
  return static_cast<int32_t>(count);
}

// A span of a stream: the whole chunks the staged bytes hold, in place, once
// they hold a whole chunk or the stream has ended.
size_t SpanReader::ReadStagedSpan(StreamBinding& input, const uint8_t** bytes) {
  if (WholeChunks(staged_end_ - staged_pos_, chunk_size_, span_bytes_) == 0) Gather(input);
  size_t count = WholeChunks(staged_end_ - staged_pos_, chunk_size_, span_bytes_);
  // Past the stream's end (or a failed read), what is left is its last, short chunk.
  if (count == 0) count = staged_end_ - staged_pos_;
  *bytes = staged_.data() + staged_pos_;
  staged_pos_ += count;
  return count;
}

// Moves the start of a chunk not yet whole to the front and reads behind it until
// the buffer holds a whole chunk (a whole span, when spans are larger than a read)
// or the stream has ended, each read taking whatever the stream holds. A job asked
// to hold or to stop gathers no further than its next whole chunk, so that it soon
// reaches a span boundary.
void SpanReader::Gather(StreamBinding& input) {
  const size_t left = staged_end_ - staged_pos_;
  std::memmove(staged_.data(), staged_.data() + staged_pos_, left);
  staged_pos_ = 0;
  staged_end_ = left;
  const size_t enough = staged_capacity_ > kStagedBytes ? staged_capacity_ : chunk_size_;
  while (!ended_ && !failed_ && staged_end_ < staged_capacity_) {
    const int64_t n =
        io_.read(input.file, staged_.data() + staged_end_, static_cast<uint32_t>(staged_capacity_ - staged_end_));
    if (n == 0) ended_ = true;
    if (n < 0) failed_ = true;
    if (n <= 0) break;
    staged_end_ += static_cast<size_t>(n);
    if (staged_end_ >= enough) break;
    if (staged_end_ >= chunk_size_ && attention_.load(std::memory_order_acquire)) break;
  }
}

namespace {

// Writes the result into an output file; a memory output was written at commit.
void WriteFileResult(Job& job, const char* text, uint32_t length) {
  StreamBinding& output = job.output;
  if (output.file == nullptr) return;
  const int64_t written = job.stream_io.write(output.file, text, length);
  if (written > 0) output.pos = SaturatingAdd(output.pos, static_cast<size_t>(written));
}

// Holds the job's memory-input lock while the job reads the host's memory, and
// lets go at a span boundary where a suspension or a cancellation waits.
class MemoryInputHold {
 public:
  explicit MemoryInputHold(Job& job) : job_(job), held_(job.memory_input) {
    if (held_) job_.memory_input_lock.lock();
  }
  ~MemoryInputHold() { Drop(); }
  MemoryInputHold(const MemoryInputHold&) = delete;
  MemoryInputHold& operator=(const MemoryInputHold&) = delete;

  // A span boundary: false once the job is cancelled.
  bool PassSpanBoundary() {
    if (!job_.attention.load(std::memory_order_acquire)) return true;
    const bool held = held_;
    Drop();
    if (!HoldWhileSuspended(job_)) return false;
    if (held) {
      job_.memory_input_lock.lock();
      held_ = true;
    }
    return true;
  }
  void Drop() {
    if (held_) job_.memory_input_lock.unlock();
    held_ = false;
  }

 private:
  Job& job_;
  bool held_;
};

}  // namespace

void RunJob(Job& job, JobAlgorithm& algorithm, const JobShape& shape) {
  if (!StartJob(job)) {
    EndJob(job);
    return;
  }
  const uint32_t chunk_size = job.input.kind == StreamKind::kFile ? shape.file_chunk : shape.memory_chunk;
  bool complete = true;
  {
    SpanReader reader(job.input, job.input_total, chunk_size, shape.span_bytes, job.stream_io, job.attention);
    MemoryInputHold memory(job);
    uint64_t consumed = 0;
    for (;;) {
      if (!memory.PassSpanBoundary()) {
        complete = false;
        break;
      }
      const uint8_t* bytes = nullptr;
      const int32_t count = reader.ReadSpan(job.input, &bytes);
      if (count <= 0) break;
      algorithm.Update(bytes, static_cast<size_t>(count));
      consumed += static_cast<uint32_t>(count);
      job.consumed.store(consumed, std::memory_order_relaxed);
    }
    if (reader.failed()) complete = false;
  }
  char text[kMaxResultLength + 1];
  const char* result = nullptr;
  if (complete) {
    algorithm.Finish(text);
    result = text;
  }
  if (CommitResult(job, result, shape.result_length)) {
    WriteFileResult(job, text, shape.result_length);
  }
  EndJob(job);
}

}  // namespace telvarn
