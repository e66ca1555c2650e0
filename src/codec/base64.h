// Base64 text (standard alphabet, '=' padding) to and from bytes, as the Base64 exports do it.
//
// Contracts of the encoder:
// - n is `length`, or the count of bytes before the source's first NUL when
//   `length` is 0. Exactly the n source bytes are read; a last group of 1 or 2
//   bytes is completed with zeros, never with the bytes that follow.
// - line_mode 1 cuts the text into lines of 72 characters, each followed by CR LF:
//   a CR LF after every 18 whole groups and one more at the very end, always (so a
//   source whose length is a non-zero multiple of 54 ends with an empty line, and
//   an empty source gives just CR LF). Any other line_mode gives one line.
// - The destination may be the source itself, or share any memory with it: the
//   text is then built in a block of its own before the destination is touched.
//   The destination receives the text and its NUL and must have room for
//   EncodedBase64Length(n, line_mode) + 1 bytes.
// - Result: minus the text length (CR and LF counted, the NUL not); 0 for an
//   empty text.
// - Refusal: a text longer than kMaxBase64Text (2^30 bytes less its NUL and a spare
//   byte) is refused before a source byte is read, and, when the destination
//   shares memory with the source (the text is then built in a block of its own),
//   a text whose block cannot be had is refused.
//   Either way the destination receives the empty text (a NUL at its first byte,
//   nothing more) and the result is 0, so a caller that ignores the result never
//   reads what the destination held before.
//
// Contracts of the decoder (it never rejects anything, and never reads past the
// source's NUL):
// - Trailing CR and LF of the source are overwritten with NULs, in place.
// - Characters go in groups of 4. A CR or LF inside a group is skipped and takes no
//   place in it. Every other character adds its value, acc = acc * 64 + value,
//   where a character outside the alphabet (an '=' inside the text, a space)
//   counts as 255, not reduced to six bits. The NUL ends the last group early,
//   without shifting what it holds into place. Every group, complete or not,
//   yields the three low bytes of acc, high byte first.
// - The count then drops by 1 if the text's last character is '=' and by 1 more
//   if the one before it is '=' (each tested on its own). Canonical padded text
//   decodes exactly; for the rest these rules decide the bytes.
// - The destination may be the source itself, or share memory with it: a byte is
//   written only where the text has been read already, and a destination inside
//   the text above its start gets the bytes by way of a work block, once all of
//   the text is decoded. Exactly the decoded bytes are written,
//   no NUL after them; at most 3 * ceil(len / 4) of them for a text of len
//   characters.
// - Result: minus the count of decoded bytes; 0 when there are none (an empty
//   text, or one of CR and LF only), and then the destination is untouched.
// - Refusal: when the text is so long that the count would not fit the result, or
//   a work block is needed (a destination that lies inside the text, above its
//   start) and cannot be allocated, nothing is written and the result is 0 (the
//   source is trimmed all the same).
//
// Everything runs on the caller's thread with local buffers only; calls share no
// state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace telvarn {

// The longest text the encoder builds: 2^30 bytes hold the text, its NUL and, after
// a closing line break, one spare byte.
inline constexpr uint64_t kMaxBase64Text = (uint64_t{1} << 30) - 2;

// The length of the encoder's text for n source bytes: 4 characters per started
// group of 3 and, with line_mode 1, 2 more after every 18 whole groups and at the
// end. The NUL is not counted.
uint64_t EncodedBase64Length(uint64_t source_length, int32_t line_mode);

int32_t EncodeBase64(uint8_t* destination, const uint8_t* source, uint32_t length,
                     int32_t line_mode);

int32_t DecodeBase64(uint8_t* destination, char* text);

// The decoded bytes of one text, in a block of their own.
struct DecodedBase64 {
  std::unique_ptr<uint8_t[]> bytes;
  size_t count = 0;
};

// The decoding that DecodeBase64 and the RSA key import share: trims the text in
// place, then decodes it by the rules above into `out`. false, with `out` empty,
// on a refusal; a text that decodes to nothing is not one.
bool DecodeBase64Text(char* text, DecodedBase64& out);

}  // namespace telvarn
