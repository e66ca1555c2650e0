// Hmac<Hash>: the keyed digest of RFC 2104 over MD5, SHA-1, a SHA-2 or a SHA-3 digest, as bytes or text.
//
// SetKey takes the key text up to its first NUL (a key longer than the hash's
// block is replaced by its digest), prepares both pads and starts the inner hash;
// message bytes then go to Update, straight to the hash context and so to the
// block function its dispatch chose, the same as the plain digest's. Digest
// completes the outer hash once and returns its bytes, HexDigest the hexadecimal
// text in the case of the plain digest's text (lower for MD5, upper for the SHA
// families). An object belongs to one thread.
//
// Hash is a digest context with kBlockSize, kDigestSize and kUpperCaseText, and
// Reset, Update and Digest (the completed message's bytes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"

namespace telvarn {

template <class Hash>
class Hmac {
 public:
  static constexpr size_t kBlockSize = Hash::kBlockSize;
  static constexpr size_t kDigestSize = Hash::kDigestSize;
  static constexpr size_t kTextLength = 2 * kDigestSize;

  // The hash context's own arguments, if any (a block-function variant).
  template <class... Variant>
  explicit Hmac(const Variant&... variant) : hash_(variant...) {}

  // The key is the text at `key` before its first NUL, read no further than
  // `max_length` bytes.
  void SetKey(const uint8_t* key, size_t max_length);
  void Update(const uint8_t* bytes, size_t count) { hash_.Update(bytes, count); }
  const uint8_t* Digest();
  const char* HexDigest();

 private:
  Hash hash_;
  bool result_ready_ = false;
  uint8_t outer_pad_[kBlockSize];
  uint8_t digest_[kDigestSize];
  char hex_result_[kTextLength + 1];
};

extern template class Hmac<Md5Context>;
extern template class Hmac<Sha1Context>;
extern template class Hmac<Sha256Context>;
extern template class Hmac<Sha512Context>;
extern template class Hmac<Sha224Context>;
extern template class Hmac<Sha384Context>;
extern template class Hmac<Sha512_224Context>;
extern template class Hmac<Sha512_256Context>;
extern template class Hmac<Sha3_224Context>;
extern template class Hmac<Sha3_256Context>;
extern template class Hmac<Sha3_384Context>;
extern template class Hmac<Sha3_512Context>;

using HmacMd5 = Hmac<Md5Context>;
using HmacSha1 = Hmac<Sha1Context>;
using HmacSha256 = Hmac<Sha256Context>;
using HmacSha512 = Hmac<Sha512Context>;
using HmacSha224 = Hmac<Sha224Context>;
using HmacSha384 = Hmac<Sha384Context>;
using HmacSha512_224 = Hmac<Sha512_224Context>;
using HmacSha512_256 = Hmac<Sha512_256Context>;
using HmacSha3_224 = Hmac<Sha3_224Context>;
using HmacSha3_256 = Hmac<Sha3_256Context>;
using HmacSha3_384 = Hmac<Sha3_384Context>;
using HmacSha3_512 = Hmac<Sha3_512Context>;

}  // namespace telvarn
