// Input, output and key binding of an IO.
#include "boundary/bindings.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/job.h"

namespace telvarn {
namespace {

// The file's length in bytes, with 64-bit offsets so that files past 2 GiB are
// measured right, then capped at INT32_MAX. Streams that cannot seek (pipes,
// devices) measure 0.
#if defined(_WIN32)
int Seek64(std::FILE* file, long long offset, int origin) { return _fseeki64(file, offset, origin); }
long long Tell64(std::FILE* file) { return _ftelli64(file); }
#else
int Seek64(std::FILE* file, long long offset, int origin) { return fseeko(file, offset, origin); }
long long Tell64(std::FILE* file) { return ftello(file); }
#endif

int32_t MeasureAndRewind(std::FILE* file) {
  if (Seek64(file, 0, SEEK_END) != 0) {
    std::clearerr(file);
    return 0;
  }
  const long long end = Tell64(file);
  Seek64(file, 0, SEEK_SET);
  if (end < 0) return 0;
  return end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
}

int32_t MeasureText(const uint8_t* text) {
  size_t n = std::strlen(reinterpret_cast<const char*>(text));
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// A binding prepares the IO's next job: IO_Progress no longer reports the last one.
void ForgetLastJob(IoSlot& slot) {
  JobsLockHold hold(JobsLock());
  slot.last_job_finished = false;
}

}  // namespace

int32_t BindStream(IoSlot& slot, Direction direction, const VarDesc& var, int32_t mode,
                   int32_t length) {
  const bool input = direction == Direction::kInput;
  StreamBinding& binding = input ? slot.input : slot.output;
  auto* data = static_cast<uint8_t*>(var.data);

  // A stream still open can only belong to the current file binding: memory
  // bindings and re-initialisation close theirs, and jobs close theirs.
  CloseStream(binding);

  if (mode != TELVARN_MODE_FILE) {
    binding.kind = StreamKind::kMemory;
    binding.data = data;
    binding.size = length != 0 ? length : MeasureText(data);
    binding.pos = 0;
    binding.size_explicit = length > 0;
    binding.bound = true;
    ForgetLastJob(slot);
    return 0;
  }

  std::FILE* file = std::fopen(reinterpret_cast<const char*>(data), input ? "rbS" : "wbS");
  if (file == nullptr) {
    if (binding.kind == StreamKind::kFile) binding.bound = false;
    return -1;
  }
  binding.file = file;
  binding.size = MeasureAndRewind(file);
  binding.pos = 0;
  binding.size_explicit = false;
  binding.bound = true;
  binding.kind = StreamKind::kFile;
  ForgetLastJob(slot);
  return 0;
}

void SetKey(uint8_t (&key_area)[kKeyAreaSize], const uint8_t* key, int32_t length) {
  constexpr int32_t kMaxKey = static_cast<int32_t>(kKeyAreaSize) - 1;
  int32_t n = 0;
  if (length == 0) {
    while (n < kMaxKey && key[n] != 0) ++n;
  } else if (length > 0) {
    n = length < kMaxKey ? length : kMaxKey;
  }
  std::memcpy(key_area, key, static_cast<size_t>(n));
  key_area[n] = 0;
}

void ResetSlot(IoSlot& slot) {
  CancelJobOf(slot);
  CloseStream(slot.input);
  CloseStream(slot.output);
  slot.input = StreamBinding{};
  slot.output = StreamBinding{};
  // Like every write of it, under the jobs lock: the scheduler records a job's
  // thread there while the host may re-initialise the IO.
  JobsLockHold hold(JobsLock());
  slot.job_thread_id = 0;
  slot.last_job_finished = false;
}

}  // namespace telvarn
