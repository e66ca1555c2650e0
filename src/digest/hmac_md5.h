// HmacMd5: the keyed digest HMAC-MD5 (RFC 2104, 64-byte blocks) as lower-case text.
//
// SetKey takes the key text up to its first NUL (keys over 64 bytes are replaced
// by their MD5 digest), prepares both pads and starts the inner hash; message
// bytes then go to Update; HexDigest completes the outer hash once and returns
// the 32 lower-case hexadecimal digits. An object belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/md5.h"

namespace telvarn {

class HmacMd5 {
 public:
  static constexpr size_t kBlockSize = 64;
  static constexpr size_t kTextLength = Md5Context::kTextLength;

  // The key is the text at `key` before its first NUL, read no further than
  // `max_length` bytes.
  void SetKey(const uint8_t* key, size_t max_length);
  void Update(const uint8_t* bytes, size_t count) { md5_.Update(bytes, count); }
  const char* HexDigest();

 private:
  Md5Context md5_;
  bool result_ready_ = false;
  uint8_t inner_pad_[kBlockSize];
  uint8_t outer_pad_[kBlockSize];
  char hex_result_[kTextLength + 1];
};

}  // namespace telvarn
