// libFuzzer target: the Base64 decoder on arbitrary text, checked against a model of its rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/base64.h"

namespace {

constexpr uint8_t kFill = 0xA5;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

uint32_t Value(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 255;
}

// The same rules put another way: drop the trailing CR and LF, drop every other CR
// and LF, cut what is left into runs of 4 (the last may be shorter) and take 3
// bytes of each run's accumulated value; then the two '=' tests on the trimmed text.
std::vector<uint8_t> Model(const char* text) {
  size_t len = std::strlen(text);
  while (len > 0 && IsLineBreak(text[len - 1])) --len;
  std::vector<uint32_t> values;
  for (size_t i = 0; i < len; ++i) {
    if (!IsLineBreak(text[i])) values.push_back(Value(text[i]));
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < values.size(); i += 4) {
    uint32_t acc = 0;
    for (size_t k = i; k < i + 4 && k < values.size(); ++k) acc = acc * 64 + values[k];
    bytes.push_back(static_cast<uint8_t>(acc >> 16));
    bytes.push_back(static_cast<uint8_t>(acc >> 8));
    bytes.push_back(static_cast<uint8_t>(acc));
  }
  size_t count = bytes.size();
  if (len >= 1 && text[len - 1] == '=') --count;
  if (len >= 2 && text[len - 2] == '=') --count;
  bytes.resize(count);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text is the input up to its first zero byte, in a block of its own so
  // that the address sanitizer sees any read past the NUL.
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size != 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  const size_t len = std::strlen(text.get());
  const std::vector<uint8_t> expected = Model(text.get());

  const size_t room = (3 * len + 15) / 4 + 1;
  std::unique_ptr<uint8_t[]> destination(new uint8_t[room]);
  std::memset(destination.get(), kFill, room);
  const int32_t result = telvarn::DecodeBase64(destination.get(), text.get());

  if (result > 0) std::abort();
  const size_t count = static_cast<size_t>(-static_cast<int64_t>(result));
  if (count > room - 1) std::abort();
  if (count != expected.size()) std::abort();
  if (count != 0 && std::memcmp(destination.get(), expected.data(), count) != 0) std::abort();
  for (size_t i = count; i < room; ++i) {
    if (destination[i] != kFill) std::abort();
  }
  // The source lost exactly its trailing CR and LF, and nothing else.
  size_t kept = len;
  while (kept > 0 && IsLineBreak(static_cast<char>(data[kept - 1]))) --kept;
  if (std::memcmp(text.get(), data, kept) != 0) std::abort();
  for (size_t i = kept; i <= len; ++i) {
    if (text[i] != '\0') std::abort();
  }
  return 0;
}
