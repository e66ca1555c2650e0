// HMAC: key preparation through a ByteBuffer, the pads, the inner and outer hashes, for each digest context.
#include "digest/hmac.h"

#include <cstring>

#include "codec/byte_buffer.h"
#include "codec/hex.h"

namespace telvarn {

template <class Hash>
void Hmac<Hash>::SetKey(const uint8_t* key, size_t max_length) {
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
  uint8_t hashed[kDigestSize];
  if (key_length > kBlockSize) {
    hash_.Reset();
    hash_.Update(key_bytes, key_length);
    std::memcpy(hashed, hash_.Digest(), sizeof hashed);
    key_bytes = hashed;
    key_length = sizeof hashed;
  }
  uint8_t inner_pad[kBlockSize];
  std::memset(inner_pad, 0x36, kBlockSize);
  std::memset(outer_pad_, 0x5c, kBlockSize);
  for (size_t i = 0; i < key_length; ++i) {
    inner_pad[i] ^= key_bytes[i];
    outer_pad_[i] ^= key_bytes[i];
  }
  // A whole block: the message that follows starts on a block boundary, as the
  // plain digest's does, and goes to the block function without a copy.
  hash_.Reset();
  hash_.Update(inner_pad, kBlockSize);
  result_ready_ = false;
}

template <class Hash>
const uint8_t* Hmac<Hash>::Digest() {
  if (!result_ready_) {
    uint8_t inner[kDigestSize];
    std::memcpy(inner, hash_.Digest(), sizeof inner);
    hash_.Reset();
    hash_.Update(outer_pad_, kBlockSize);
    hash_.Update(inner, sizeof inner);
    std::memcpy(digest_, hash_.Digest(), kDigestSize);
    WriteBytesHex(digest_, kDigestSize, Hash::kUpperCaseText, hex_result_);
    hex_result_[kTextLength] = '\0';
    result_ready_ = true;
  }
  return digest_;
}

template <class Hash>
const char* Hmac<Hash>::HexDigest() {
  Digest();
  return hex_result_;
}

template class Hmac<Md5Context>;
template class Hmac<Sha1Context>;
template class Hmac<Sha256Context>;
template class Hmac<Sha512Context>;
template class Hmac<Sha224Context>;
template class Hmac<Sha384Context>;
template class Hmac<Sha512_224Context>;
template class Hmac<Sha512_256Context>;
template class Hmac<Sha3_224Context>;
template class Hmac<Sha3_256Context>;
template class Hmac<Sha3_384Context>;
template class Hmac<Sha3_512Context>;

}  // namespace telvarn
