// The XXH3 jobs: xxHash's 64- and 128-bit XXH3 (seed 0) plugged into the worker frame.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "codec/hex.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

// xxHash's state asks for 64-byte alignment. A member of that alignment would make
// the job classes over-aligned, and their deleting destructors would then reach the
// aligned operator delete, which mingw's C++ runtime builds on a C runtime function
// that the oldest supported Windows lacks: the state lies in a plain buffer here,
// at its first 64-byte boundary.
class Xxh3State {
 public:
  Xxh3State() {
    auto at = reinterpret_cast<std::uintptr_t>(bytes_);
    at = (at + alignof(XXH3_state_t) - 1) & ~std::uintptr_t{alignof(XXH3_state_t) - 1};
    state_ = new (reinterpret_cast<void*>(at)) XXH3_state_t;
  }
  Xxh3State(const Xxh3State&) = delete;
  Xxh3State& operator=(const Xxh3State&) = delete;
  XXH3_state_t* get() { return state_; }

 private:
  unsigned char bytes_[sizeof(XXH3_state_t) + alignof(XXH3_state_t) - 1];
  XXH3_state_t* state_;
};

// Inlined, xxHash picks its vector code at compile time from the target's flags:
// SSE2 on x86-64, scalar on the i686 baseline, which every processor runs.
class Xxh3_64Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 16;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  Xxh3_64Job() { XXH3_64bits_reset(state_.get()); }
  void Update(const uint8_t* bytes, size_t count) override { XXH3_64bits_update(state_.get(), bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(XXH3_64bits_digest(state_.get()), kDigits, text);
    text[kDigits] = '\0';
  }

 private:
  Xxh3State state_;
};

class Xxh3_128Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 32;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  Xxh3_128Job() { XXH3_128bits_reset(state_.get()); }
  void Update(const uint8_t* bytes, size_t count) override { XXH3_128bits_update(state_.get(), bytes, count); }
  // The canonical form, high half first, as xxhsum prints it.
  void Finish(char* text) override {
    const XXH128_hash_t hash = XXH3_128bits_digest(state_.get());
    WriteHexUpper(hash.high64, 16, text);
    WriteHexUpper(hash.low64, 16, text + 16);
    text[kDigits] = '\0';
  }

 private:
  Xxh3State state_;
};

static_assert(alignof(Xxh3_64Job) <= alignof(std::max_align_t) && alignof(Xxh3_128Job) <= alignof(std::max_align_t),
              "the XXH3 jobs keep to the ordinary alignment");

}  // namespace

const JobKind kXxh3_64Job = kJobOf<Xxh3_64Job>;
const JobKind kXxh3_128Job = kJobOf<Xxh3_128Job>;

}  // namespace telvarn
