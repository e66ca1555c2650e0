// MD5 (RFC 1321): the initial state and the results as bytes or text.
#include "digest/md5.h"

#include <cstring>

#include "codec/hex.h"

namespace telvarn {
namespace {

constexpr uint32_t kInitial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

}  // namespace

void Md5Context::Reset() {
  engine_.Start(kInitial);
  finished_ = false;
}

void Md5Context::Update(const uint8_t* bytes, size_t count) {
  engine_.Absorb(bytes, count);
  finished_ = false;
}

void Md5Context::Finish() {
  Engine completed = engine_;
  completed.Complete();
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < 4; ++j) digest_[4 * i + j] = static_cast<uint8_t>(completed.state()[i] >> (8 * j));
  }
  WriteBytesHex(digest_, kDigestSize, /*upper=*/false, hex_result_);
  hex_result_[kTextLength] = '\0';
  finished_ = true;
}

// Either getter gives the result, whichever of them completed the message.
const uint8_t* Md5Context::Digest() {
  if (!finished_) Finish();
  return digest_;
}

const char* Md5Context::HexDigest() {
  if (!finished_) Finish();
  return hex_result_;
}

}  // namespace telvarn
