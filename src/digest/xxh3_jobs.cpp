// The XXH3 jobs: xxHash's 64- and 128-bit XXH3 (seed 0) plugged into the worker frame.
#include <cstddef>
#include <cstdint>

#include "codec/hex.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"
#include "digest/xxh3.h"

namespace telvarn {
namespace {

class Xxh3_64Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 16;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(context_.Digest64(), kDigits, text);
    text[kDigits] = '\0';
  }

 private:
  Xxh3Context context_;
};

class Xxh3_128Job final : public JobAlgorithm {
 public:
  static constexpr uint32_t kDigits = 32;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits};

  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  // The canonical form, high half first, as xxhsum prints it.
  void Finish(char* text) override {
    uint64_t hash[2];
    context_.Digest128(hash);
    WriteHexUpper(hash[0], 16, text);
    WriteHexUpper(hash[1], 16, text + 16);
    text[kDigits] = '\0';
  }

 private:
  Xxh3Context context_;
};

static_assert(alignof(Xxh3_64Job) <= alignof(std::max_align_t) && alignof(Xxh3_128Job) <= alignof(std::max_align_t),
              "the XXH3 jobs keep to the ordinary alignment");

}  // namespace

const JobKind kXxh3_64Job = kJobOf<Xxh3_64Job>;
const JobKind kXxh3_128Job = kJobOf<Xxh3_128Job>;

}  // namespace telvarn
