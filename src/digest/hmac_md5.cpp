// HMAC-MD5: key preparation through a ByteBuffer, the pads, the inner and outer hashes.
#include "digest/hmac_md5.h"

#include <cstring>

#include "codec/byte_buffer.h"

namespace telvarn {

void HmacMd5::SetKey(const uint8_t* key, size_t max_length) {
  size_t length = 0;
  while (length < max_length && key[length] != 0) ++length;
  ByteBuffer buffer;
  buffer.append_bytes(key, static_cast<int32_t>(length), false);
  const uint8_t* key_bytes = buffer.pointer(false);
  size_t key_length = static_cast<size_t>(buffer.text_size());
  if (buffer.failed()) {
    // No room for a copy: the key text itself serves just as well.
    key_bytes = key;
    key_length = length;
  }
  uint8_t hashed[Md5Context::kDigestSize];
  if (key_length > kBlockSize) {
    md5_.Reset();
    md5_.Update(key_bytes, key_length);
    std::memcpy(hashed, md5_.Digest(), sizeof hashed);
    key_bytes = hashed;
    key_length = sizeof hashed;
  }
  std::memset(inner_pad_, 0x36, kBlockSize);
  std::memset(outer_pad_, 0x5c, kBlockSize);
  for (size_t i = 0; i < key_length; ++i) {
    inner_pad_[i] ^= key_bytes[i];
    outer_pad_[i] ^= key_bytes[i];
  }
  md5_.Reset();
  md5_.Update(inner_pad_, kBlockSize);
  result_ready_ = false;
}

const char* HmacMd5::HexDigest() {
  if (!result_ready_) {
    uint8_t inner[Md5Context::kDigestSize];
    std::memcpy(inner, md5_.Digest(), sizeof inner);
    md5_.Reset();
    md5_.Update(outer_pad_, kBlockSize);
    md5_.Update(inner, sizeof inner);
    std::memcpy(hex_result_, md5_.HexDigest(), kTextLength + 1);
    result_ready_ = true;
  }
  return hex_result_;
}

}  // namespace telvarn
