// Hexadecimal result text: digits from a table rather than a formatted print per value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn {

// The low `digits` hexadecimal digits of value, upper case, most significant first
// (what "%0<digits>X" prints for a value that fits), up to 16 of them. No NUL is written.
inline void WriteHexUpper(uint64_t value, unsigned digits, char* out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (unsigned i = digits; i-- > 0;) {
    out[i] = kDigits[value & 0xF];
    value >>= 4;
  }
}

// A hexadecimal digit's value (either case), or -1 for any other byte.
inline int HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  const uint8_t lower = static_cast<uint8_t>(c | 0x20);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// `count` bytes from the 2 * count digits at `digits`, which must all be digits.
inline void ReadBytesHex(const uint8_t* digits, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = static_cast<uint8_t>(HexDigitValue(digits[2 * i]) << 4 | HexDigitValue(digits[2 * i + 1]));
  }
}

// Two digits per byte, in byte order. No NUL is written.
inline void WriteBytesHex(const uint8_t* bytes, size_t count, bool upper, char* out) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = digits[bytes[i] >> 4];
    out[2 * i + 1] = digits[bytes[i] & 0xF];
  }
}

}  // namespace telvarn
