// The loops every SIMD Base64 kernel shares, around the block steps each instruction set supplies.
//
// Included only by the variant files. Each instantiates these templates with a
// step type from its own anonymous namespace, so every instantiation has internal
// linkage: the linker cannot fold an AVX2-compiled copy into a file built for a
// lesser processor, as it may with an ordinary inline function.
//
// A step type provides:
//   EncodeLine(char* out, const uint8_t* source): 54 bytes to 72 characters,
//     reading exactly those bytes;
//   kEncodeBytes, kEncodeReads, EncodeBlock(out, source): kEncodeBytes bytes to
//     4 / 3 as many characters, reading kEncodeReads bytes from `source`;
//   kWidth, CopyBlock(uint8_t* to, const char* from): copies kWidth characters and
//     returns a mask of those that are CR or LF (bit i for character i);
//   DecodeBlock(uint8_t* out, const uint8_t* chars): kWidth characters of the
//     alphabet or outside it, none CR or LF, to exactly 3 * kWidth / 4 bytes.
#pragma once

#include <cstring>

#include "codec/base64_private.h"

namespace telvarn {
namespace base64_internal {

template <class Step>
void EncodeWith(char* text, const uint8_t* source, size_t count, bool lines) {
  size_t p = 0;
  if (lines) {
    for (; p + kLineBytes <= count; p += kLineBytes) {
      Step::EncodeLine(text, source + p);
      text[kLineChars] = '\r';
      text[kLineChars + 1] = '\n';
      text += kLineChars + 2;
    }
  } else {
    for (; p + Step::kEncodeReads <= count; p += Step::kEncodeBytes) {
      Step::EncodeBlock(text, source + p);
      text += Step::kEncodeBytes / 3 * 4;
    }
  }
  // From a line start (or a group start without lines) the reference writes the
  // rest, the final CR LF included.
  EncodePortable(text, source + p, count - p, lines);
}

// CR and LF take no place in a group, so dropping them first leaves the groups as
// the reference forms them. The text is copied block by block into a small buffer
// that stays in the first-level cache; a block holding a line break is copied up
// to it and the next block starts just past it, so each break costs one more step.
// Only blocks followed by at least one more character are decoded there: the last
// group, which may be short and loses the dropped bytes, is left to the reference.
template <class Step>
size_t DecodeWith(uint8_t* out, const char* text, size_t length, uint32_t drop) {
  constexpr size_t kWidth = Step::kWidth;
  constexpr size_t kChunk = 2048;
  // A copy may store a whole block from below kChunk, and the last characters,
  // fewer than a block, are added one by one after that.
  uint8_t held_chars[kChunk + 2 * kWidth];
  size_t held = 0;
  size_t c = 0;
  size_t j = 0;
  for (;;) {
    while (held < kChunk && c + kWidth <= length) {
      const uint64_t breaks = Step::CopyBlock(held_chars + held, text + c);
      if (breaks == 0) {
        held += kWidth;
        c += kWidth;
      } else {
        const size_t first = static_cast<size_t>(__builtin_ctzll(breaks));
        held += first;
        c += first + 1;
      }
    }
    const bool last = c + kWidth > length;
    if (last) {
      for (; c < length; ++c) {
        const char ch = text[c];
        if (ch != '\r' && ch != '\n') held_chars[held++] = static_cast<uint8_t>(ch);
      }
    }
    // Every byte written so far comes from characters already copied out, so an
    // output at the text's own address never overwrites one still to be read.
    size_t used = 0;
    for (; used + kWidth < held; used += kWidth) {
      Step::DecodeBlock(out + j, held_chars + used);
      j += kWidth / 4 * 3;
    }
    if (last) {
      return j + DecodePortable(out + j, reinterpret_cast<const char*>(held_chars + used),
                                held - used, drop);
    }
    std::memmove(held_chars, held_chars + used, held - used);
    held -= used;
  }
}

}  // namespace base64_internal
}  // namespace telvarn
