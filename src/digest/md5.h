// Md5Context: the MD5 digest (RFC 1321) over data fed in pieces, able to go on after a result.
//
// Digest and HexDigest complete the message once (through Finish) and return the
// 16 bytes or the 32 lower-case hexadecimal digits; asked again they return the
// same result. The padding goes into a copy of the message, so an Update after
// a result continues the same message: a, b, HexDigest, c, HexDigest gives the
// digests of "ab" and then of "abc". Reset starts an empty message from any state.
// A context belongs to one thread. Its block function is the processor's best
// variant unless one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"
#include "digest/merkle_damgard.h"

namespace telvarn {

class Md5Context {
 public:
  static constexpr size_t kBlockSize = 64;
  static constexpr size_t kDigestSize = 16;
  static constexpr size_t kTextLength = 32;
  static constexpr bool kUpperCaseText = false;

  Md5Context() : Md5Context(Active<kMd5Kernels>()) {}
  explicit Md5Context(const Md5Variant& variant) : engine_(variant.kernel) { Reset(); }
  void Reset();
  void Update(const uint8_t* bytes, size_t count);
  const uint8_t* Digest();
  const char* HexDigest();

 private:
  using Engine = MerkleDamgard<uint32_t, 4, kBlockSize, LengthOrder::kLittleEndian>;

  // Completes a copy of the message, so that the engine itself stays open.
  void Finish();

  Engine engine_;
  uint8_t digest_[kDigestSize];
  char hex_result_[kTextLength + 1];
  bool finished_ = false;
};

}  // namespace telvarn
