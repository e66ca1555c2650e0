// Base64 encoding through a growable buffer, and the lenient group decoder.
#include "codec/base64.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "codec/byte_buffer.h"

namespace telvarn {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Bytes per group, and whole groups per line of 72 characters.
constexpr uint32_t kGroupBytes = 3;
constexpr uint32_t kLineBytes = 54;

// Every byte outside the alphabet maps to 255.
struct DecodeTable {
  uint8_t value[256];
};

constexpr DecodeTable MakeDecodeTable() {
  DecodeTable table{};
  for (int i = 0; i < 256; ++i) table.value[i] = 255;
  for (int i = 0; i < 64; ++i) {
    table.value[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  }
  return table;
}

constexpr DecodeTable kDecode = MakeDecodeTable();

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Four characters of the alphabet, NUL-terminated, for append_text.
void FormGroup(uint32_t v, char* out) {
  out[0] = kAlphabet[(v >> 18) & 63];
  out[1] = kAlphabet[(v >> 12) & 63];
  out[2] = kAlphabet[(v >> 6) & 63];
  out[3] = kAlphabet[v & 63];
  out[4] = '\0';
}

}  // namespace

uint64_t EncodedBase64Length(uint64_t source_length, int32_t line_mode) {
  uint64_t length = 4 * ((source_length + 2) / 3);
  if (line_mode == 1) length += 2 * (source_length / kLineBytes + 1);
  return length;
}

int32_t EncodeBase64(uint8_t* destination, const uint8_t* source, uint32_t length,
                     int32_t line_mode) {
  const bool lines = line_mode == 1;
  // Only the NUL search reads the source before the size check: an explicit
  // length is refused without touching a byte.
  const uint64_t n = length != 0
                         ? length
                         : std::strlen(reinterpret_cast<const char*>(source));
  if (EncodedBase64Length(n, line_mode) > kMaxBase64Text) return 0;
  // n fits 32 bits now: a text of at most 2^30 characters comes from fewer bytes.
  const uint32_t count = static_cast<uint32_t>(n);
  const uint32_t whole = count - count % kGroupBytes;

  ByteBuffer text;
  text.reset(-1);
  char group[5];
  for (uint32_t p = 0; p < whole; p += kGroupBytes) {
    const uint32_t v = (uint32_t{source[p]} << 16) | (uint32_t{source[p + 1]} << 8) | source[p + 2];
    FormGroup(v, group);
    text.append_text(group);
    if (lines && (p + kGroupBytes) % kLineBytes == 0) text.append_line_break();
  }
  const uint32_t rest = count - whole;
  if (rest != 0) {
    uint32_t v = uint32_t{source[whole]} << 16;
    if (rest == 2) v |= uint32_t{source[whole + 1]} << 8;
    FormGroup(v, group);
    for (uint32_t i = 0; i <= rest; ++i) text.append_byte(static_cast<uint8_t>(group[i]));
    for (uint32_t i = rest; i < kGroupBytes; ++i) text.append_byte('=');
  }
  if (lines) text.append_line_break();
  // A refused growth or allocation leaves a partial text: deliver none of it.
  if (text.failed()) return 0;

  const int32_t size = text.text_size();
  std::memcpy(destination, text.pointer(false), static_cast<size_t>(size) + 1);
  return -size;
}

bool DecodeBase64Text(char* text, DecodedBase64& out) {
  out.bytes.reset();
  out.count = 0;
  size_t len = std::strlen(text);
  while (len > 0 && IsLineBreak(text[len - 1])) text[--len] = '\0';
  if (len == 0) return true;

  // Room for every group: a group starts below len and, but for the last one,
  // takes at least 4 positions, so there are at most ceil(len / 4) groups of 3
  // bytes, and this size exceeds that by 3 to 6 bytes. The bound in 64 bits keeps
  // 3 * len from wrapping on 32-bit targets.
  const uint64_t work_size = (3 * static_cast<uint64_t>(len) + 15) / 4;
  if (work_size > static_cast<uint64_t>(INT32_MAX)) return false;
  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[static_cast<size_t>(work_size)]);
  if (!work) return false;

  size_t j = 0;
  for (size_t c = 0; c < len;) {
    uint32_t acc = 0;
    uint32_t taken = 0;
    size_t skipped = 0;
    // The NUL at len stops the group, so a group that starts near the end never
    // reads past it even though c + 4 may lie beyond.
    for (size_t i = c; taken < 4; ++i) {
      const uint8_t ch = static_cast<uint8_t>(text[i]);
      if (ch == 0) break;
      if (IsLineBreak(static_cast<char>(ch))) {
        ++skipped;
        continue;
      }
      // At most 255 * (64^3 + 64^2 + 64 + 1) after four characters: no overflow.
      acc = acc * 64 + kDecode.value[ch];
      ++taken;
    }
    work[j] = static_cast<uint8_t>(acc >> 16);
    work[j + 1] = static_cast<uint8_t>(acc >> 8);
    work[j + 2] = static_cast<uint8_t>(acc);
    j += 3;
    c += 4 + skipped;
  }
  // The text ends in a character other than CR or LF, so at least one group was
  // counted: j is 3 or more here and cannot drop below 1.
  if (text[len - 1] == '=') --j;
  if (len >= 2 && text[len - 2] == '=') --j;

  out.bytes = std::move(work);
  out.count = j;
  return true;
}

int32_t DecodeBase64(uint8_t* destination, char* text) {
  DecodedBase64 decoded;
  if (!DecodeBase64Text(text, decoded) || decoded.count == 0) return 0;
  std::memcpy(destination, decoded.bytes.get(), decoded.count);
  return -static_cast<int32_t>(decoded.count);
}

}  // namespace telvarn
