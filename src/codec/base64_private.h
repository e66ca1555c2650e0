// The Base64 kernels and the NUL scans: the portable references and one per instruction set.
//
// A kernel works on plain memory whose size the caller has settled: the encoder
// writes exactly EncodedBase64Length(count, lines ? 1 : 0) characters (no NUL),
// the decoder exactly 3 * groups - drop bytes. Neither reads or writes a byte
// outside the ranges it is given. An encoder needs its output apart from its
// source. A decoder may have its output at or below the text's address: it writes
// a byte only after reading the characters it comes from, and 3 bytes never reach
// past the 4 or more characters they come from.
//
// The SIMD decoders compute acc = acc * 64 + value with multiply-add instructions
// that hold the full sum, so characters outside the alphabet (value 255) come out
// exactly as in the reference; only CR and LF, which take no place in a group,
// and the last group, which may be short, need handling of their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/dispatch.h"

namespace telvarn {

// EncodeBase64 and DecodeBase64 (see base64.h) with a kernel of the caller's
// choice, so that every kernel is checked under the exports' own placement rules.
int32_t EncodeBase64With(Base64EncodeFn kernel, uint8_t* destination, const uint8_t* source,
                         uint32_t length, int32_t line_mode);
int32_t DecodeBase64With(Base64DecodeFn kernel, uint8_t* destination, char* text);

namespace base64_internal {

inline constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of every byte: its place in the alphabet, 255 outside it.
struct CharValues {
  uint8_t value[256];
};

constexpr CharValues MakeCharValues() {
  CharValues table{};
  for (int i = 0; i < 256; ++i) table.value[i] = 255;
  for (int i = 0; i < 64; ++i) table.value[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  return table;
}

inline constexpr CharValues kCharValues = MakeCharValues();

// Whole groups per line of 72 characters, and the source bytes they take.
constexpr size_t kLineGroups = 18;
constexpr size_t kLineBytes = 54;
constexpr size_t kLineChars = 72;

inline bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// The reference kernels. The SIMD kernels also finish with them: the encoder from
// a line start (or a group start without lines), the decoder on the last
// characters once CR and LF are gone from them.
void EncodePortable(char* text, const uint8_t* source, size_t count, bool lines);
size_t DecodePortable(uint8_t* out, const char* text, size_t length, uint32_t drop);
// Eight byte compares per step, reading no byte past the NUL.
size_t TextLengthPortable(const char* text);

#if defined(__i386__) || defined(__x86_64__)
// Reads aligned 16-byte blocks that may run past the NUL, but never onto another
// page (see x86/text_length_sse2.cpp).
size_t TextLengthSse2(const char* text);
void EncodeSsse3(char* text, const uint8_t* source, size_t count, bool lines);
size_t DecodeSsse3(uint8_t* out, const char* text, size_t length, uint32_t drop);
void EncodeAvx2(char* text, const uint8_t* source, size_t count, bool lines);
size_t DecodeAvx2(uint8_t* out, const char* text, size_t length, uint32_t drop);
void EncodeAvx512Vbmi(char* text, const uint8_t* source, size_t count, bool lines);
size_t DecodeAvx512Vbmi(uint8_t* out, const char* text, size_t length, uint32_t drop);
#endif

}  // namespace base64_internal
}  // namespace telvarn
