// MD5 (RFC 1321): buffering, padding, and the results as bytes or text.
#include "digest/md5.h"

#include <cstring>

#include "digest/hex.h"

namespace telvarn {
namespace {

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void StoreLe32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint8_t kPadding[64] = {0x80};

}  // namespace

void Md5Context::Reset() {
  finished_ = false;
  now_.state[0] = 0x67452301;
  now_.state[1] = 0xefcdab89;
  now_.state[2] = 0x98badcfe;
  now_.state[3] = 0x10325476;
  now_.bit_count = 0;
}

void Md5Context::Update(const uint8_t* bytes, size_t count) {
  if (finished_) {
    now_ = snapshot_;
    finished_ = false;
  }
  const size_t index = static_cast<size_t>(now_.bit_count >> 3) & 63;
  now_.bit_count += static_cast<uint64_t>(count) << 3;
  // Whole blocks go to the block function straight from the caller's bytes; only
  // a partial block at either end passes through the buffer.
  if (index != 0) {
    const size_t part = 64 - index;
    if (count < part) {
      std::memcpy(now_.block + index, bytes, count);
      return;
    }
    std::memcpy(now_.block + index, bytes, part);
    compress_(now_.state, now_.block, 1);
    bytes += part;
    count -= part;
  }
  const size_t blocks = count / 64;
  if (blocks > 0) compress_(now_.state, bytes, blocks);
  std::memcpy(now_.block, bytes + blocks * 64, count % 64);
}

void Md5Context::Finish() {
  snapshot_ = now_;
  uint8_t bits[8];
  StoreLe32(static_cast<uint32_t>(now_.bit_count), bits);
  StoreLe32(static_cast<uint32_t>(now_.bit_count >> 32), bits + 4);
  const size_t index = static_cast<size_t>(now_.bit_count >> 3) & 63;
  const size_t pad = index < 56 ? 56 - index : 120 - index;
  Update(kPadding, pad);
  Update(bits, 8);
  for (int i = 0; i < 4; ++i) StoreLe32(now_.state[i], now_.digest + 4 * i);
  finished_ = true;
}

// Either getter gives the result, whichever of them completed the message.
const uint8_t* Md5Context::Digest() {
  if (!finished_) Finish();
  std::memcpy(binary_result_, now_.digest, kDigestSize);
  return binary_result_;
}

const char* Md5Context::HexDigest() {
  if (!finished_) Finish();
  WriteBytesHex(now_.digest, kDigestSize, /*upper=*/false, hex_result_);
  hex_result_[kTextLength] = '\0';
  return hex_result_;
}

}  // namespace telvarn
