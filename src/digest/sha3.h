// SHA3-224, SHA3-256, SHA3-384 and SHA3-512 digest contexts (FIPS 202) with upper-case hexadecimal results.
//
// Each context is Reset on construction, absorbs bytes with Update, and Finish
// yields the result text (56, 64, 96 or 128 upper-case hexadecimal characters and
// a NUL), Digest the same result as bytes (28, 32, 48 or 64, in the order the
// sponge squeezes them). Completing pads a copy of the sponge, so either yields
// the same result again, and an Update after it goes on with the message itself
// (as Md5Context does); a Reset starts a new message. kBlockSize is the sponge's
// rate (144, 136, 104 or 72 bytes), which HMAC takes as the hash's block. A
// context belongs to one thread. Its Keccak-f[1600] absorb is the processor's best
// variant unless one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

// The sponge of the four: 25 lanes, a partial block, and the variant's absorb.
class KeccakSponge {
 public:
  KeccakSponge(KeccakAbsorbFn absorb, size_t rate_bytes) : absorb_(absorb), rate_(rate_bytes) { Reset(); }

  void Reset();
  // Whole blocks are absorbed straight from the caller's bytes; only the partial
  // blocks at either end pass through `block_`.
  void Absorb(const uint8_t* bytes, size_t count);
  // The SHA-3 padding (the suffix bits 01, then 10*1) on a copy of the sponge, and
  // the first `size` bytes squeezed from it, `size` at most the rate.
  void Squeeze(uint8_t* out, size_t size) const;

 private:
  static constexpr size_t kMostRate = 144;
  uint64_t state_[25];
  uint8_t block_[kMostRate];
  size_t fill_ = 0;
  KeccakAbsorbFn absorb_;
  size_t rate_;
};

template <size_t kBits>
class Sha3Context {
 public:
  using Variant = KeccakVariant;
  static constexpr const KernelTable<KeccakAbsorbFn>& kKernels = kKeccakKernels;
  static constexpr size_t kDigestSize = kBits / 8;
  static constexpr size_t kBlockSize = 200 - 2 * kDigestSize;
  static constexpr size_t kTextLength = 2 * kDigestSize;
  static constexpr bool kUpperCaseText = true;

  Sha3Context() : Sha3Context(Active<kKeccakKernels>()) {}
  explicit Sha3Context(const Variant& variant) : variant_(variant), sponge_(variant.kernel, kBlockSize) {}

  void Reset() {
    sponge_.Reset();
    finished_ = false;
  }
  void Update(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    sponge_.Absorb(bytes, count);
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
  void Complete();

  const Variant& variant_;
  KeccakSponge sponge_;
  bool finished_ = false;
  char text_[kTextLength + 1];
  uint8_t digest_[kDigestSize];
};

extern template class Sha3Context<224>;
extern template class Sha3Context<256>;
extern template class Sha3Context<384>;
extern template class Sha3Context<512>;

using Sha3_224Context = Sha3Context<224>;
using Sha3_256Context = Sha3Context<256>;
using Sha3_384Context = Sha3Context<384>;
using Sha3_512Context = Sha3Context<512>;

}  // namespace telvarn
