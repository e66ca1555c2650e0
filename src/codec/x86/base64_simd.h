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
//   kWidth, Breaks(const char* from): a mask of the kWidth characters there that
//     are CR or LF (bit i for character i);
//   CopyBlock(uint8_t* to, const char* from): copies kWidth characters and
//     returns the same mask;
//   Decoded, DecodeBlock(const uint8_t* chars) -> Decoded: kWidth characters of
//     the alphabet or outside it, none CR or LF, to 3 * kWidth / 4 bytes held in
//     a register;
//   StoreDecoded(uint8_t* out, Decoded bytes): stores exactly those bytes.
#pragma once

#include <cstring>

#include "codec/base64_private.h"

namespace telvarn {
namespace base64_internal {

// The byte tables of the PSHUFB method, one 16-byte row each; a kernel whose
// registers are wider repeats a row in every 128-bit lane, since PSHUFB looks up
// within a lane.
struct alignas(16) ShuffleRow {
  int8_t bytes[16];
};

// Encoding: the offset from a 6-bit index to its character, by range class (0 for
// a-z, 1 to 10 for 0-9, 11 '+', 12 '/', 13 A-Z).
inline constexpr ShuffleRow kCharOffsets{{71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0}};

// Encoding: each group's bytes s0 s1 s2, from `skip` bytes into a 16-byte load, laid
// out as the 32-bit word s1 s0 s2 s1 (low byte first), so that its four 6-bit
// indices sit in known places of the two halves.
template <int kSkip>
inline constexpr ShuffleRow kSpreadOrder{{kSkip + 1, kSkip, kSkip + 2, kSkip + 1, kSkip + 4, kSkip + 3, kSkip + 5,
                                          kSkip + 4, kSkip + 7, kSkip + 6, kSkip + 8, kSkip + 7, kSkip + 10,
                                          kSkip + 9, kSkip + 11, kSkip + 10}};

// Decoding: a character is in the alphabet iff the class bits of its low nibble
// and of its high nibble share none (one bit per high-nibble class, set in the
// low-nibble row where that nibble is not in the class's range).
inline constexpr ShuffleRow kLowNibbleClasses{
    {0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A}};
inline constexpr ShuffleRow kHighNibbleClasses{
    {0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10}};
// Decoding: the offset from a character to its value by high nibble; '/' shares
// its nibble with '+' and takes the entry before.
inline constexpr ShuffleRow kValueOffsets{{0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0}};
// Decoding: the three low bytes of each 32-bit group, high first, packed into the
// low 12 bytes of a row.
inline constexpr ShuffleRow kGroupBytesOrder{{2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1}};

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

// Whether the 72 characters at `line` hold no CR or LF and CR LF follows them,
// tested in blocks at 0, kWidth, ... and one that ends at 72.
template <class Step>
bool IsCleanLine(const char* line) {
  if (line[kLineChars] != '\r' || line[kLineChars + 1] != '\n') return false;
  uint64_t breaks = Step::Breaks(line + kLineChars - Step::kWidth);
  for (size_t p = 0; p + Step::kWidth <= kLineChars; p += Step::kWidth) breaks |= Step::Breaks(line + p);
  return breaks == 0;
}

template <class Step>
void DecodeBlockTo(uint8_t* out, const uint8_t* chars) {
  Step::StoreDecoded(out, Step::DecodeBlock(chars));
}

// The 72 characters of a clean line to 54 bytes, by the same blocks. With the
// output at the line's own address, or a little below it (up to 40 bytes for
// 64-character blocks), the bytes of the first blocks land on characters that the
// last block, the one ending at 72, has still to read: so every block is decoded
// into a register before the first byte is stored.
template <class Step>
void DecodeLine(uint8_t* out, const char* line) {
  constexpr size_t kWidth = Step::kWidth;
  static_assert(kLineChars % kWidth != 0, "the last block is the one that ends at 72");
  constexpr size_t kBlocks = kLineChars / kWidth + 1;
  const auto* chars = reinterpret_cast<const uint8_t*>(line);
  typename Step::Decoded bytes[kBlocks];
  for (size_t b = 0; b + 1 < kBlocks; ++b) bytes[b] = Step::DecodeBlock(chars + b * kWidth);
  bytes[kBlocks - 1] = Step::DecodeBlock(chars + kLineChars - kWidth);
  for (size_t b = 0; b + 1 < kBlocks; ++b) Step::StoreDecoded(out + b * kWidth / 4 * 3, bytes[b]);
  Step::StoreDecoded(out + (kLineChars - kWidth) / 4 * 3, bytes[kBlocks - 1]);
}

// CR and LF take no place in a group, so dropping them first leaves the groups as
// the reference forms them. The text is copied block by block into a small buffer
// that stays in the first-level cache; a block holding a line break is copied up
// to it and the next block starts just past it (and past the breaks right after
// it), so each line break costs one more step.
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
    // Straight from the text while nothing is held back: whole lines of 72
    // characters and CR LF (as the encoder writes them), or blocks without breaks.
    // Neither may hold the last character, hence the strict bounds.
    while (held == 0) {
      if (c + kLineChars + 2 < length && IsCleanLine<Step>(text + c)) {
        DecodeLine<Step>(out + j, text + c);
        c += kLineChars + 2;
        j += kLineBytes;
      } else if (c + kWidth < length && Step::Breaks(text + c) == 0) {
        DecodeBlockTo<Step>(out + j, reinterpret_cast<const uint8_t*>(text + c));
        c += kWidth;
        j += kWidth / 4 * 3;
      } else {
        break;
      }
    }
    while (held < kChunk && c + kWidth <= length) {
      const uint64_t breaks = Step::CopyBlock(held_chars + held, text + c);
      if (breaks == 0) {
        held += kWidth;
        c += kWidth;
      } else {
        // A run of breaks (CR LF) goes in one step. The mask is looked at in 32-bit
        // halves, which 32-bit code handles without a library call; a run that
        // goes on into the high half ends at it, and the next step skips the rest.
        const auto low = static_cast<uint32_t>(breaks);
        const uint32_t half = low != 0 ? low : static_cast<uint32_t>(breaks >> 32);
        const uint32_t first_in_half = static_cast<uint32_t>(__builtin_ctz(half));
        const uint32_t from_first = half >> first_in_half;
        const uint32_t run = from_first == ~uint32_t{0}
                                 ? 32 - first_in_half
                                 : static_cast<uint32_t>(__builtin_ctz(~from_first));
        const size_t first = (low != 0 ? 0 : 32) + first_in_half;
        held += first;
        c += first + run;
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
      DecodeBlockTo<Step>(out + j, held_chars + used);
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
