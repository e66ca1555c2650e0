// The XXH3 jobs: xxHash's 64- and 128-bit XXH3 (seed 0) plugged into the worker frame.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include "codec/hex.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

// Inlined, xxHash picks its vector code at compile time from the target's flags:
// SSE2 on x86-64, scalar on the i686 baseline, which every processor runs.
class Xxh3_64Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 16;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  Xxh3_64Job() { XXH3_64bits_reset(&state_); }
  void Update(const uint8_t* bytes, size_t count) override { XXH3_64bits_update(&state_, bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(XXH3_64bits_digest(&state_), kDigits, text);
    text[kDigits] = '\0';
  }

 private:
  XXH3_state_t state_;
};

class Xxh3_128Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 32;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  Xxh3_128Job() { XXH3_128bits_reset(&state_); }
  void Update(const uint8_t* bytes, size_t count) override { XXH3_128bits_update(&state_, bytes, count); }
  // The canonical form, high half first, as xxhsum prints it.
  void Finish(char* text) override {
    const XXH128_hash_t hash = XXH3_128bits_digest(&state_);
    WriteHexUpper(hash.high64, 16, text);
    WriteHexUpper(hash.low64, 16, text + 16);
    text[kDigits] = '\0';
  }

 private:
  XXH3_state_t state_;
};

}  // namespace

const JobKind kXxh3_64Job = kJobOf<Xxh3_64Job>;
const JobKind kXxh3_128Job = kJobOf<Xxh3_128Job>;

}  // namespace telvarn
