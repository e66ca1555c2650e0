// The worker frame: chunked reading, suspension at chunk boundaries, delivery, closing.
#include "digest/worker_frame.h"

#include <climits>
#include <cstring>

namespace telvarn {
namespace {

using platform::Os;

int32_t SaturatingAdd(int32_t pos, size_t count) {
  if (pos < 0) pos = 0;
  if (count > static_cast<size_t>(INT32_MAX - pos)) return INT32_MAX;
  return pos + static_cast<int32_t>(count);
}

void PauseWhileSuspended(IoSlot& slot) {
  while (slot.job_state.load() == kJobSuspended) {
    // A wait that fails (no event could be made) falls back to polling.
    if (!slot.resume_event.wait(platform::kInfinite)) Os::sleep_ms(10);
  }
}

}  // namespace

int32_t ReadChunk(IoSlot& slot, uint8_t* buffer, uint32_t chunk_size) {
  StreamBinding& input = slot.input;
  if (!input.bound) return 0;
  if (input.kind == kStreamFile) {
    if (input.file == nullptr || std::feof(input.file)) return 0;
    size_t count = std::fread(buffer, 1, chunk_size, input.file);
    input.pos = SaturatingAdd(input.pos, count);
    return static_cast<int32_t>(count);
  }
  if (input.kind == kStreamMemory) {
    if (input.pos >= input.size) return 0;
    int32_t count = input.size - input.pos;
    if (count > static_cast<int32_t>(chunk_size)) count = static_cast<int32_t>(chunk_size);
    std::memcpy(buffer, input.data + input.pos, static_cast<size_t>(count));
    input.pos += count;
    return count;
  }
  return 0;
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
  uint8_t chunk[kMaxChunk];
  for (;;) {
    PauseWhileSuspended(slot);
    int32_t count = ReadChunk(slot, chunk, chunk_size);
    if (count <= 0) break;
    algorithm.Update(chunk, static_cast<size_t>(count));
  }
  char text[kMaxResultLength + 1];
  algorithm.Finish(text);
  DeliverResult(slot, text, shape.result_length);
  CloseJob(slot);
}

}  // namespace telvarn
