// The BLAKE3 jobs: BLAKE3's hash and keyed hash plugged into the worker frame, large spans shared among helper threads.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/hex.h"
#include "digest/blake3.h"
#include "digest/blake3_shared.h"
#include "digest/file_blocks.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

constexpr uint32_t kDigits = 2 * kBlake3OutLength;

// The hash, or with a key the keyed hash.
class Blake3Digest : public JobAlgorithm {
 public:
  // Spans of a file block: a memory or file input of a megabyte or more is shared
  // among the helpers a megabyte at a time.
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, kDigits,
                                   static_cast<uint32_t>(FileBlocks::kBlockBytes)};

  void Update(const uint8_t* bytes, size_t count) override { hasher_.Update(bytes, count); }
  void Finish(char* text) override {
    uint8_t out[kBlake3OutLength];
    hasher_.Finalize(out);
    WriteBytesHex(out, sizeof out, /*upper=*/false, text);
    text[kDigits] = '\0';
  }

 protected:
  // `key`: 32 bytes, or null for the hash.
  explicit Blake3Digest(const uint8_t* key) : hasher_(key, Blake3SharedHasher::kHelpersForThisProcess) {}

 private:
  Blake3SharedHasher hasher_;
};

class Blake3Job final : public Blake3Digest {
 public:
  Blake3Job() : Blake3Digest(nullptr) {}
};

// The key text the launch let through (boundary/key_forms.h): 32 bytes as they
// are, or the 64 hexadecimal digits of 32 bytes.
struct Blake3Key {
  explicit Blake3Key(const uint8_t* key_area) {
    if (key_area[kBlake3KeyLength] == 0) {
      std::memcpy(bytes, key_area, kBlake3KeyLength);
      return;
    }
    ReadBytesHex(key_area, kBlake3KeyLength, bytes);
  }
  uint8_t bytes[kBlake3KeyLength];
};

class Blake3KeyJob final : public Blake3Digest {
 public:
  explicit Blake3KeyJob(const uint8_t* key_area) : Blake3Digest(Blake3Key(key_area).bytes) {}
};

}  // namespace

const JobKind kBlake3Job = kJobOf<Blake3Job>;
const JobKind kBlake3KeyJob = kJobOf<Blake3KeyJob>;

}  // namespace telvarn
