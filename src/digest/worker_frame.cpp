// The worker frame: chunked reading, suspension at chunk boundaries, delivery, closing.
#include "digest/worker_frame.h"

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <new>

namespace telvarn {
namespace {

using platform::Os;

int32_t SaturatingAdd(int32_t pos, size_t count) {
  if (pos < 0) pos = 0;
  if (count > static_cast<size_t>(INT32_MAX - pos)) return INT32_MAX;
  return pos + static_cast<int32_t>(count);
}

bool IsRegularFile(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

void PauseWhileSuspended(IoSlot& slot) {
  while (slot.job_state.load() == kJobSuspended) {
    // A wait that fails (no event could be made) falls back to polling.
    if (!slot.resume_event.wait(platform::kInfinite)) Os::sleep_ms(10);
  }
}

}  // namespace

int32_t ChunkReader::ReadChunk(IoSlot& slot, const uint8_t** bytes) {
  StreamBinding& input = slot.input;
  if (!input.bound) return 0;
  if (input.kind == kStreamFile) return ReadFileChunk(input, bytes);
  if (input.kind == kStreamMemory) {
    if (input.pos >= input.size) return 0;
    int32_t count = input.size - input.pos;
    if (count > static_cast<int32_t>(chunk_size_)) count = static_cast<int32_t>(chunk_size_);
    *bytes = input.data + input.pos;
    input.pos += count;
    return count;
  }
  return 0;
}

int32_t ChunkReader::ReadFileChunk(StreamBinding& input, const uint8_t** bytes) {
  if (input.file == nullptr) return 0;
  if (!file_reading_chosen_) {
    // Pipes and devices are read chunk by chunk, so that a writer's bytes reach
    // the job as they come, not once a whole block has gathered.
    file_reading_chosen_ = true;
    if (IsRegularFile(input.file)) block_.reset(new (std::nothrow) uint8_t[kBlockBytes]);
  }
  size_t count;
  if (block_ == nullptr) {
    if (std::feof(input.file)) return 0;
    count = std::fread(chunk_, 1, chunk_size_, input.file);
    *bytes = chunk_;
  } else {
    if (block_pos_ == block_end_) {
      if (std::feof(input.file)) return 0;
      const size_t filled = std::fread(block_.get(), 1, kBlockBytes, input.file);
      if (filled == 0) return 0;
      block_pos_ = 0;
      block_end_ = filled;
    }
    count = block_end_ - block_pos_;
    if (count > chunk_size_) count = chunk_size_;
    *bytes = block_.get() + block_pos_;
    block_pos_ += count;
  }
  input.pos = SaturatingAdd(input.pos, count);
  return static_cast<int32_t>(count);
}

void DeliverResult(IoSlot& slot, const char* text, uint32_t length) {
  StreamBinding& output = slot.output;
  if (!output.bound) return;
  if (output.kind == kStreamFile) {
    if (output.file == nullptr) return;
    size_t written = std::fwrite(text, 1, length, output.file);
    std::fflush(output.file);
    output.pos = SaturatingAdd(output.pos, written);
  } else if (output.kind == kStreamMemory) {
    size_t count = length;
    if (output.size_explicit) {
      int32_t room = output.size > output.pos ? output.size - output.pos : 0;
      if (count > static_cast<size_t>(room)) count = static_cast<size_t>(room);
    }
    std::memcpy(output.data + output.pos, text, count);
    output.pos = SaturatingAdd(output.pos, count);
  }
}

void CloseJob(IoSlot& slot) {
  if (slot.input.kind == kStreamFile && slot.input.bound) CloseStream(slot.input);
  slot.input.bound = false;
  if (slot.output.kind == kStreamFile && slot.output.bound) CloseStream(slot.output);
  slot.output.bound = false;
  // Signalled before the state turns 4: a host that sees 4 may launch again at
  // once, and this signal must not reach its next job.
  slot.job_ended.set();
  // A suspension that arrives after the last chunk still holds the job here, and a
  // job that has finished can no longer be suspended.
  for (;;) {
    int32_t expected = kJobRunning;
    if (slot.job_state.compare_exchange_strong(expected, kJobFinished)) return;
    if (expected != kJobSuspended) {
      slot.job_state.store(kJobFinished);
      return;
    }
    PauseWhileSuspended(slot);
  }
}

void RunJob(IoSlot& slot, JobAlgorithm& algorithm, const JobShape& shape) {
  slot.job_state.store(kJobRunning);
  const uint32_t chunk_size = slot.input.kind == kStreamFile ? shape.file_chunk : shape.memory_chunk;
  {
    ChunkReader reader(chunk_size);
    for (;;) {
      PauseWhileSuspended(slot);
      const uint8_t* bytes = nullptr;
      int32_t count = reader.ReadChunk(slot, &bytes);
      if (count <= 0) break;
      algorithm.Update(bytes, static_cast<size_t>(count));
    }
  }
  char text[kMaxResultLength + 1];
  algorithm.Finish(text);
  DeliverResult(slot, text, shape.result_length);
  CloseJob(slot);
}

}  // namespace telvarn
