// Blake2Context: BLAKE2b-512 and BLAKE2s-256 (RFC 7693), plain or in their own keyed mode, over data fed in pieces.
//
// A key of 1 to kMaxKeyBytes bytes makes the keyed hash; the empty key is the
// plain hash. The caller keeps the key within kMaxKeyBytes: the context never
// cuts or hashes down a longer one (the Digest export refuses it at launch).
// The last block is held back until Finish, since it alone carries the final
// flag. Digest and HexDigest complete the message once; asked again they give
// the same result. A context belongs to one thread. Its compression function is
// the processor's best variant unless one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

struct Blake2bTraits {
  using Word = uint64_t;
  using Variant = Blake2bVariant;
  static constexpr size_t kDigestSize = 64;
  static constexpr const KernelTable<Blake2bCompressFn>& kKernels = kBlake2bKernels;
};

struct Blake2sTraits {
  using Word = uint32_t;
  using Variant = Blake2sVariant;
  static constexpr size_t kDigestSize = 32;
  static constexpr const KernelTable<Blake2sCompressFn>& kKernels = kBlake2sKernels;
};

template <class Traits>
class Blake2Context {
 public:
  using Word = typename Traits::Word;
  using Variant = typename Traits::Variant;
  static constexpr size_t kBlockSize = 16 * sizeof(Word);
  static constexpr size_t kDigestSize = Traits::kDigestSize;
  static constexpr size_t kMaxKeyBytes = kDigestSize;
  static constexpr size_t kTextLength = 2 * kDigestSize;
  static constexpr bool kUpperCaseText = false;
  static constexpr const auto& kKernels = Traits::kKernels;

  Blake2Context() : Blake2Context(Active<Traits::kKernels>(), nullptr, 0) {}
  Blake2Context(const uint8_t* key, size_t key_length) : Blake2Context(Active<Traits::kKernels>(), key, key_length) {}
  explicit Blake2Context(const Variant& variant) : Blake2Context(variant, nullptr, 0) {}
  // key_length at most kMaxKeyBytes.
  Blake2Context(const Variant& variant, const uint8_t* key, size_t key_length);
  void Update(const uint8_t* bytes, size_t count);
  const uint8_t* Digest();
  const char* HexDigest();

 private:
  void Finish();

  decltype(Variant::kernel) compress_;
  Word h_[8];
  Word t_[2] = {0, 0};
  uint8_t buffer_[kBlockSize] = {};
  size_t buffered_ = 0;
  uint8_t digest_[kDigestSize];
  char hex_result_[kTextLength + 1];
  bool finished_ = false;
};

using Blake2bContext = Blake2Context<Blake2bTraits>;
using Blake2sContext = Blake2Context<Blake2sTraits>;

extern template class Blake2Context<Blake2bTraits>;
extern template class Blake2Context<Blake2sTraits>;

}  // namespace telvarn
