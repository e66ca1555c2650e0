// Base64 encoding and decoding through the chosen kernels, straight into the caller's memory when it can.
#include "codec/base64.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "codec/base64_private.h"
#include "telvarn.h"

namespace telvarn {
namespace {

using base64_internal::IsLineBreak;

size_t TextLength(const char* text) { return Active<kTextLengthKernels>().kernel(text); }

// Whether [a, a + a_size) and [b, b + b_size) share a byte.
bool Overlap(const void* a, size_t a_size, const void* b, size_t b_size) {
  const auto a_at = reinterpret_cast<uintptr_t>(a);
  const auto b_at = reinterpret_cast<uintptr_t>(b);
  return a_at < b_at + b_size && b_at < a_at + a_size;
}

// Trims the trailing CR and LF in place and returns the length left.
size_t TrimmedLength(char* text) {
  size_t len = TextLength(text);
  while (len > 0 && IsLineBreak(text[len - 1])) text[--len] = '\0';
  return len;
}

// What the '=' tests take off the count: 1 if the last character is '=', 1 more if
// the one before it is.
uint32_t DroppedBytes(const char* text, size_t len) {
  uint32_t drop = text[len - 1] == '=' ? 1 : 0;
  if (len >= 2 && text[len - 2] == '=') ++drop;
  return drop;
}

// Room for every group of a trimmed text of len characters: a group starts below
// len and, but for the last one, takes at least 4 positions, so there are at most
// ceil(len / 4) groups of 3 bytes, and this size exceeds that by 3 to 6 bytes. The
// bound in 64 bits keeps 3 * len from wrapping on 32-bit targets; over INT32_MAX
// the count could not be returned.
uint64_t WorkSize(size_t len) { return (3 * static_cast<uint64_t>(len) + 15) / 4; }

// A refused encoding leaves the empty text, so that a caller who ignores the
// result never reads what the destination held before.
int32_t RefuseEncoding(uint8_t* destination) {
  destination[0] = 0;
  return 0;
}

}  // namespace

uint64_t EncodedBase64Length(uint64_t source_length, int32_t line_mode) {
  uint64_t length = 4 * ((source_length + 2) / 3);
  if (line_mode == TELVARN_BASE64_LINES) length += 2 * (source_length / base64_internal::kLineBytes + 1);
  return length;
}

int32_t EncodeBase64With(Base64EncodeFn kernel, uint8_t* destination, const uint8_t* source,
                         uint32_t length, int32_t line_mode) {
  // Only the NUL search reads the source before the size check: an explicit
  // length is refused without touching a byte.
  const uint64_t n = length != 0 ? length : TextLength(reinterpret_cast<const char*>(source));
  const uint64_t text_length = EncodedBase64Length(n, line_mode);
  if (text_length > kMaxBase64Text) return RefuseEncoding(destination);
  // Both fit 32 bits now: a text of at most 2^30 characters comes from fewer bytes.
  const auto count = static_cast<size_t>(n);
  const auto size = static_cast<size_t>(text_length);

  // The text grows ahead of the source it is made from, so a destination that
  // shares memory with the source gets the text by way of a block of its own.
  std::unique_ptr<char[]> block;
  char* text = reinterpret_cast<char*>(destination);
  if (Overlap(destination, size + 1, source, count)) {
    block.reset(new (std::nothrow) char[size + 1]);
    if (!block) return RefuseEncoding(destination);
    text = block.get();
  }
  kernel(text, source, count, line_mode == TELVARN_BASE64_LINES);
  text[size] = '\0';
  if (block) std::memcpy(destination, block.get(), size + 1);
  return -static_cast<int32_t>(size);
}

int32_t EncodeBase64(uint8_t* destination, const uint8_t* source, uint32_t length,
                     int32_t line_mode) {
  return EncodeBase64With(Active<kBase64EncodeKernels>().kernel, destination, source, length, line_mode);
}

namespace {

// Decodes a trimmed text of len characters into a block of its own.
bool DecodeTrimmed(Base64DecodeFn kernel, const char* text, size_t len, DecodedBase64& out) {
  out.bytes.reset();
  out.count = 0;
  if (len == 0) return true;
  const uint64_t work_size = WorkSize(len);
  if (work_size > static_cast<uint64_t>(INT32_MAX)) return false;
  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[static_cast<size_t>(work_size)]);
  if (!work) return false;
  out.count = kernel(work.get(), text, len, DroppedBytes(text, len));
  out.bytes = std::move(work);
  return true;
}

}  // namespace

bool DecodeBase64Text(char* text, DecodedBase64& out) {
  return DecodeTrimmed(Active<kBase64DecodeKernels>().kernel, text, TrimmedLength(text), out);
}

int32_t DecodeBase64With(Base64DecodeFn kernel, uint8_t* destination, char* text) {
  const size_t len = TrimmedLength(text);
  if (len == 0) return 0;
  if (WorkSize(len) > static_cast<uint64_t>(INT32_MAX)) return 0;
  // The kernels write each byte only after the characters it comes from, and never
  // ahead of what they have read, so a destination at or below the text (the text
  // itself included) or clear of it takes the bytes directly. Otherwise they go
  // through a work block.
  const auto to = reinterpret_cast<uintptr_t>(destination);
  const auto from = reinterpret_cast<uintptr_t>(text);
  if (to <= from || to > from + len) {
    const size_t count = kernel(destination, text, len, DroppedBytes(text, len));
    return -static_cast<int32_t>(count);
  }
  DecodedBase64 decoded;
  if (!DecodeTrimmed(kernel, text, len, decoded) || decoded.count == 0) return 0;
  std::memcpy(destination, decoded.bytes.get(), decoded.count);
  return -static_cast<int32_t>(decoded.count);
}

int32_t DecodeBase64(uint8_t* destination, char* text) {
  return DecodeBase64With(Active<kBase64DecodeKernels>().kernel, destination, text);
}

}  // namespace telvarn
