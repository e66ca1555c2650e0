// RSA key import: finding the two sections, decoding each and storing it as hexadecimal text.
#include "codec/rsa_key.h"

#include <cstddef>

#include "codec/base64.h"
#include "codec/hex.h"

namespace telvarn {
namespace {

constexpr char kFirstMarker = '&';
constexpr char kSecondMarker = '#';
constexpr size_t kSecondOffset = 1024;

// A refused section empties its room, so that the keyed job finds the empty key
// there rather than the one an earlier import left.
bool RefuseSection(uint8_t* key_area, size_t begin) {
  key_area[begin] = 0;
  return false;
}

// Trims and decodes the body, then stores its text in key_area[begin, end) when
// the digits and the NUL fit there. The decoded bytes are released on return,
// before the next section is looked at.
bool ImportSection(uint8_t* key_area, char* body, size_t begin, size_t end) {
  DecodedBase64 decoded;
  if (!DecodeBase64Text(body, decoded)) return RefuseSection(key_area, begin);
  if (decoded.count == 0) return true;
  if (decoded.count > (end - begin - 1) / 2) return RefuseSection(key_area, begin);
  WriteBytesHex(decoded.bytes.get(), decoded.count, true, reinterpret_cast<char*>(key_area + begin));
  key_area[begin + 2 * decoded.count] = 0;
  return true;
}

}  // namespace

int32_t ImportRsaKey(uint8_t (&key_area)[kKeyAreaSize], const VarDesc& key_text) {
  char* first = static_cast<char*>(key_text.data);
  // The host computes this address with 32-bit wrap-around; unsigned arithmetic
  // does the same here without overflowing a signed product on either target.
  const uintptr_t stride_bytes =
      static_cast<uintptr_t>(static_cast<intptr_t>(key_text.stride_words)) * 4u;
  char* second = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(first) + stride_bytes);

  // The first section's room depends on whether a second follows, so the second
  // marker is read up front. Reading it before the first section is handled gives
  // the same answer as after: trimming only turns CR and LF into NULs, and neither
  // is the marker.
  const bool has_first = first[0] == kFirstMarker;
  const bool has_second = second[0] == kSecondMarker;

  int32_t found = 0;
  if (has_first &&
      ImportSection(key_area, first + 1, 0, has_second ? kSecondOffset : kKeyAreaSize)) {
    found |= 1;
  }
  if (has_second && ImportSection(key_area, second + 1, kSecondOffset, kKeyAreaSize)) found |= 2;
  return -found;
}

}  // namespace telvarn
