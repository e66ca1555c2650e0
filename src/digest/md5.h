// Md5Context: the MD5 digest (RFC 1321) over data fed in pieces, able to go on after a result.
//
// Digest and HexDigest complete the message once (through Finish) and return the
// 16 bytes or the 32 lower-case hexadecimal digits; asked again they return the
// same result. Finish keeps the state from before the padding, so an Update after
// a result continues the same message: a, b, HexDigest, c, HexDigest gives the
// digests of "ab" and then of "abc". Reset starts an empty message from any state.
// A context belongs to one thread. Its block function is the processor's best
// variant unless one is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

class Md5Context {
 public:
  static constexpr size_t kDigestSize = 16;
  static constexpr size_t kTextLength = 32;

  Md5Context() : Md5Context(Active<Md5Kernels>()) {}
  explicit Md5Context(const Md5Variant& variant) : compress_(variant.kernel) { Reset(); }
  void Reset();
  void Update(const uint8_t* bytes, size_t count);
  const uint8_t* Digest();
  const char* HexDigest();

 private:
  struct Absorbing {
    uint32_t state[4];
    uint64_t bit_count;  // message bits absorbed, modulo 2^64
    uint8_t block[64];   // the current, incomplete block
    uint8_t digest[kDigestSize];
  };

  void Finish();

  Md5BlockFn compress_;

  uint8_t binary_result_[kDigestSize];
  char hex_result_[kTextLength + 1];
  Absorbing now_;
  // Taken at the start of Finish and restored by the next Update.
  Absorbing snapshot_;
  bool finished_ = false;
};

}  // namespace telvarn
