// The reference Base64 kernels, a group at a time by the rules in base64.h, and the reference NUL scan.
#include <cstring>

#include "codec/base64_private.h"

namespace telvarn {
namespace base64_internal {
namespace {

void FormGroup(uint32_t v, char* out) {
  out[0] = kAlphabet[(v >> 18) & 63];
  out[1] = kAlphabet[(v >> 12) & 63];
  out[2] = kAlphabet[(v >> 6) & 63];
  out[3] = kAlphabet[v & 63];
}

}  // namespace

void EncodePortable(char* text, const uint8_t* source, size_t count, bool lines) {
  const size_t whole = count - count % 3;
  size_t groups_in_line = 0;
  for (size_t p = 0; p < whole; p += 3) {
    FormGroup((uint32_t{source[p]} << 16) | (uint32_t{source[p + 1]} << 8) | source[p + 2], text);
    text += 4;
    if (lines && ++groups_in_line == kLineGroups) {
      text[0] = '\r';
      text[1] = '\n';
      text += 2;
      groups_in_line = 0;
    }
  }
  const size_t rest = count - whole;
  if (rest != 0) {
    uint32_t v = uint32_t{source[whole]} << 16;
    if (rest == 2) v |= uint32_t{source[whole + 1]} << 8;
    FormGroup(v, text);
    text[3] = '=';
    if (rest == 1) text[2] = '=';
    text += 4;
  }
  if (lines) {
    text[0] = '\r';
    text[1] = '\n';
  }
}

size_t TextLengthPortable(const char* text) {
  const char* p = text;
  for (;; p += 8) {
    if (p[0] == 0) return static_cast<size_t>(p - text);
    if (p[1] == 0) return static_cast<size_t>(p - text) + 1;
    if (p[2] == 0) return static_cast<size_t>(p - text) + 2;
    if (p[3] == 0) return static_cast<size_t>(p - text) + 3;
    if (p[4] == 0) return static_cast<size_t>(p - text) + 4;
    if (p[5] == 0) return static_cast<size_t>(p - text) + 5;
    if (p[6] == 0) return static_cast<size_t>(p - text) + 6;
    if (p[7] == 0) return static_cast<size_t>(p - text) + 7;
  }
}

size_t DecodePortable(uint8_t* out, const char* text, size_t length, uint32_t drop) {
  size_t j = 0;
  for (size_t c = 0; c < length;) {
    uint32_t acc = 0;
    uint32_t taken = 0;
    // The end of the text stops the group early, unshifted.
    for (; taken < 4 && c < length; ++c) {
      if (IsLineBreak(text[c])) continue;
      const uint8_t ch = static_cast<uint8_t>(text[c]);
      // At most 255 * (64^3 + 64^2 + 64 + 1) after four characters: no overflow.
      acc = acc * 64 + kCharValues.value[ch];
      ++taken;
    }
    const uint8_t bytes[3] = {static_cast<uint8_t>(acc >> 16), static_cast<uint8_t>(acc >> 8),
                              static_cast<uint8_t>(acc)};
    // The text ends in a character other than CR or LF, so a group that ends before
    // the end has another after it; only the last one loses the dropped bytes. The
    // group's characters are all read before its bytes are written, which keeps a
    // decoding in place correct.
    const size_t keep = c < length ? 3 : 3 - drop;
    std::memcpy(out + j, bytes, keep);
    j += keep;
  }
  return j;
}

}  // namespace base64_internal
}  // namespace telvarn
