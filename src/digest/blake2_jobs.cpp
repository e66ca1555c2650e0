// The BLAKE2 jobs: BLAKE2b-512 and BLAKE2s-256 plugged into the worker frame, plain and in their own keyed mode.
#include <cstring>

#include "digest/blake2.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"
#include "slot_table/slot_table.h"

namespace telvarn {
namespace {

template <class Context>
class Blake2Job final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, static_cast<uint32_t>(Context::kTextLength)};
  static_assert(Context::kTextLength <= kMaxResultLength);

  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  void Finish(char* text) override { std::memcpy(text, context_.HexDigest(), Context::kTextLength + 1); }

 private:
  Context context_;
};

// The key is the text of the key area the job took at launch, up to its first
// NUL; the launch refused a longer key than BLAKE2 takes (boundary/key_forms.h),
// so the bound below never cuts one.
size_t KeyTextLength(const uint8_t* key_area, size_t most) {
  size_t length = 0;
  while (length < kKeyAreaSize && key_area[length] != 0) ++length;
  return length <= most ? length : most;
}

template <class Context>
class Blake2KeyJob final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, static_cast<uint32_t>(Context::kTextLength)};

  explicit Blake2KeyJob(const uint8_t* key_area)
      : context_(key_area, KeyTextLength(key_area, Context::kMaxKeyBytes)) {}
  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  void Finish(char* text) override { std::memcpy(text, context_.HexDigest(), Context::kTextLength + 1); }

 private:
  Context context_;
};

}  // namespace

const JobKind kBlake2bJob = kJobOf<Blake2Job<Blake2bContext>>;
const JobKind kBlake2sJob = kJobOf<Blake2Job<Blake2sContext>>;
const JobKind kBlake2bKeyJob = kJobOf<Blake2KeyJob<Blake2bContext>>;
const JobKind kBlake2sKeyJob = kJobOf<Blake2KeyJob<Blake2sContext>>;

}  // namespace telvarn
