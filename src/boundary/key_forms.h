// The keyed forms a digest of the algorithm table can have, and the rules its own keyed mode puts on the key.
//
// A key rule judges the key text (the IO's key area up to its first NUL) when a
// keyed job is launched, and when telvarn reads a key option: a key it refuses is
// never cut or hashed down, the launch returns -1 and starts nothing. A digest
// whose key must be decoded (hexadecimal digits standing for bytes, say) adds a
// rule that accepts both forms, and its job decodes what the rule let through.
// Header-only, so that telvarn judges keys by the same rules the module does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/hex.h"

namespace telvarn {

enum class KeyForm {
  kNone,  // no keyed form: TELVARN_DIGEST_KEYED is refused
  kHmac,  // HMAC over the digest, under any key the key area holds; telvarn's hmac-<command>
  kOwn,   // the algorithm's own keyed mode, under a key its rule accepts; the plain command with a key option
};

struct KeyRule {
  bool (*accepts)(const uint8_t* key, size_t length);
  const char* what;  // what the rule asks for, to complete "the key must be ..."
  // Nonzero: the key is exactly this many bytes of any value, NUL included, and a
  // key text (which ends at its first NUL) carries it as twice as many hexadecimal
  // digits; telvarn always hands the module the digits.
  size_t hex_bytes = 0;
};

inline bool KeyOfAtMost64Bytes(const uint8_t*, size_t length) { return length <= 64; }
inline bool KeyOfAtMost32Bytes(const uint8_t*, size_t length) { return length <= 32; }

// A key text cannot hold a NUL byte: a 32-byte binary key that may have one comes
// as the 64 hexadecimal digits that stand for it.
inline bool KeyOf32BytesOr64HexDigits(const uint8_t* key, size_t length) {
  if (length == 32) return true;
  if (length != 64) return false;
  for (size_t i = 0; i < length; ++i) {
    if (HexDigitValue(key[i]) < 0) return false;
  }
  return true;
}

// BLAKE2b takes 0 to 64 key bytes, BLAKE2s 0 to 32; the empty key is the plain hash.
inline constexpr KeyRule kBlake2bKeyRule{&KeyOfAtMost64Bytes, "at most 64 bytes"};
inline constexpr KeyRule kBlake2sKeyRule{&KeyOfAtMost32Bytes, "at most 32 bytes"};
// BLAKE3's keyed hash takes exactly 32 bytes.
inline constexpr KeyRule kBlake3KeyRule{&KeyOf32BytesOr64HexDigits,
                                        "exactly 32 bytes, or the 64 hexadecimal digits of 32 bytes", 32};

}  // namespace telvarn
