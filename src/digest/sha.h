// SHA-1, SHA-256 and SHA-512 digest contexts with upper-case hexadecimal results.
//
// Each context is Reset on construction, absorbs bytes with Update, and Finish
// yields the result text (40, 64 or 128 upper-case hexadecimal characters and a
// NUL), Digest the same result as bytes (20, 32 or 64, each word most significant
// byte first). Once finished, either yields the same result again; an Update after it
// clears the result and goes on from the padded message (unlike Md5Context, which
// goes on with the message itself), and a Reset starts a new message. A context
// belongs to one thread. Its block function is the processor's best variant unless
// one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"
#include "digest/merkle_damgard.h"

namespace telvarn {

template <class Traits>
class ShaContext {
 public:
  using Word = typename Traits::Word;
  using Variant = KernelVariant<typename Traits::BlockFn>;
  static constexpr size_t kBlockSize = Traits::kBlock;
  static constexpr size_t kDigestSize = Traits::kStateWords * sizeof(Word);
  static constexpr size_t kTextLength = Traits::kTextLength;
  static constexpr bool kUpperCaseText = true;
  static_assert(kTextLength == 2 * kDigestSize);

  ShaContext() : ShaContext(Active<Traits::kKernels>()) {}
  explicit ShaContext(const Variant& variant) : variant_(variant), engine_(variant.kernel) {
    Reset();
  }

  void Reset() {
    engine_.Start(Traits::kInitial);
    finished_ = false;
  }
  void Update(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    engine_.Absorb(bytes, count);
    finished_ = false;
  }
  const char* Finish() {
    Complete();
    return text_;
  }
  const uint8_t* Digest() {
    Complete();
    return digest_;
  }
  const Variant& variant() const { return variant_; }

 private:
  void Complete() {
    if (finished_) return;
    engine_.Complete();
    Traits::WriteText(engine_.state(), text_);
    for (size_t i = 0; i < Traits::kStateWords; ++i) {
      for (size_t j = 0; j < sizeof(Word); ++j) {
        digest_[sizeof(Word) * i + j] = static_cast<uint8_t>(engine_.state()[i] >> (8 * (sizeof(Word) - 1 - j)));
      }
    }
    finished_ = true;
  }

  const Variant& variant_;
  MerkleDamgard<Word, Traits::kStateWords, Traits::kBlock, LengthOrder::kBigEndian> engine_;
  bool finished_ = false;
  char text_[kTextLength + 1];
  uint8_t digest_[kDigestSize];
};

struct Sha1Traits {
  using Word = uint32_t;
  using BlockFn = Sha1BlockFn;
  static constexpr const KernelTable<BlockFn>& kKernels = kSha1Kernels;
  static constexpr size_t kStateWords = 5, kBlock = 64, kTextLength = 40;
  static const Word kInitial[kStateWords];
  static void WriteText(const Word* state, char* text);
};

struct Sha256Traits {
  using Word = uint32_t;
  using BlockFn = Sha256BlockFn;
  static constexpr const KernelTable<BlockFn>& kKernels = kSha256Kernels;
  static constexpr size_t kStateWords = 8, kBlock = 64, kTextLength = 64;
  static const Word kInitial[kStateWords];
  static void WriteText(const Word* state, char* text);
};

struct Sha512Traits {
  using Word = uint64_t;
  using BlockFn = Sha512BlockFn;
  static constexpr const KernelTable<BlockFn>& kKernels = kSha512Kernels;
  static constexpr size_t kStateWords = 8, kBlock = 128, kTextLength = 128;
  static const Word kInitial[kStateWords];
  static void WriteText(const Word* state, char* text);
};

using Sha1Context = ShaContext<Sha1Traits>;
using Sha256Context = ShaContext<Sha256Traits>;
using Sha512Context = ShaContext<Sha512Traits>;

}  // namespace telvarn
