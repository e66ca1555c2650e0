// The SHA-1 and SHA-2 digest contexts (FIPS 180-4) with upper-case hexadecimal results.
//
// Each context is Reset on construction, absorbs bytes with Update, and Finish
// yields the result text (two upper-case hexadecimal characters per digest byte
// and a NUL), Digest the same result as bytes: the state words most significant
// byte first, cut to the digest's length. SHA-224 is SHA-256's block function
// from its own initial values, cut to 28 bytes; SHA-384, SHA-512/224 and
// SHA-512/256 are SHA-512's, cut to 48, 28 and 32 bytes. Once finished, either yields the same result again; an Update after it
// clears the result and goes on from the padded message (unlike Md5Context, which
// goes on with the message itself), and a Reset starts a new message. A context
// belongs to one thread. Its block function is the processor's best variant unless
// one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/hex.h"
#include "digest/dispatch.h"
#include "digest/merkle_damgard.h"

namespace telvarn {

template <class Traits>
class ShaContext {
 public:
  using Word = typename Traits::Word;
  using Variant = KernelVariant<typename Traits::BlockFn>;
  static constexpr size_t kBlockSize = Traits::kBlock;
  static constexpr size_t kDigestSize = Traits::kDigestSize;
  static constexpr size_t kTextLength = 2 * kDigestSize;
  static constexpr bool kUpperCaseText = true;
  static constexpr const KernelTable<typename Traits::BlockFn>& kKernels = Traits::kKernels;
  static_assert(kDigestSize <= Traits::kStateWords * sizeof(Word));

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
    for (size_t i = 0; i < kDigestSize; ++i) {
      const Word word = engine_.state()[i / sizeof(Word)];
      digest_[i] = static_cast<uint8_t>(word >> (8 * (sizeof(Word) - 1 - i % sizeof(Word))));
    }
    WriteBytesHex(digest_, kDigestSize, true, text_);
    text_[kTextLength] = '\0';
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
  static constexpr size_t kStateWords = 5, kBlock = 64, kDigestSize = 20;
  static const Word kInitial[kStateWords];
};

struct Sha256Traits {
  using Word = uint32_t;
  using BlockFn = Sha256BlockFn;
  static constexpr const KernelTable<BlockFn>& kKernels = kSha256Kernels;
  static constexpr size_t kStateWords = 8, kBlock = 64, kDigestSize = 32;
  static const Word kInitial[kStateWords];
};

struct Sha512Traits {
  using Word = uint64_t;
  using BlockFn = Sha512BlockFn;
  static constexpr const KernelTable<BlockFn>& kKernels = kSha512Kernels;
  static constexpr size_t kStateWords = 8, kBlock = 128, kDigestSize = 64;
  static const Word kInitial[kStateWords];
};

// The truncated forms: the block function and layout of their family, their own
// initial values and digest length.
struct Sha224Traits : Sha256Traits {
  static constexpr size_t kDigestSize = 28;
  static const Word kInitial[kStateWords];
};

struct Sha384Traits : Sha512Traits {
  static constexpr size_t kDigestSize = 48;
  static const Word kInitial[kStateWords];
};

struct Sha512_224Traits : Sha512Traits {
  static constexpr size_t kDigestSize = 28;
  static const Word kInitial[kStateWords];
};

struct Sha512_256Traits : Sha512Traits {
  static constexpr size_t kDigestSize = 32;
  static const Word kInitial[kStateWords];
};

using Sha1Context = ShaContext<Sha1Traits>;
using Sha256Context = ShaContext<Sha256Traits>;
using Sha512Context = ShaContext<Sha512Traits>;
using Sha224Context = ShaContext<Sha224Traits>;
using Sha384Context = ShaContext<Sha384Traits>;
using Sha512_224Context = ShaContext<Sha512_224Traits>;
using Sha512_256Context = ShaContext<Sha512_256Traits>;

}  // namespace telvarn
