// libFuzzer target: every Base64 kernel against the portable one, both ways, apart, in place and below, and every NUL scan.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "codec/base64.h"
#include "codec/base64_private.h"
#include "support/guarded_buffer.h"

namespace {

constexpr uint8_t kFill = 0xA5;
constexpr size_t kGuard = 8;
// Destinations from the source itself down to this many bytes below it.
constexpr size_t kMaxShift = 160;

// An output block of `size` bytes between guards.
struct Guarded : telvarn::test::GuardedBuffer {
  explicit Guarded(size_t size) : GuardedBuffer(size, kGuard, kFill, kFill) {}
  void CheckGuards(size_t written) const {
    if (!Damage(written).empty()) std::abort();
  }
};

// Through the exports' placement rules: the source `shift` bytes above the
// destination in one heap block that ends with the text's NUL or the source,
// whichever reaches further. An empty source is passed as length 0 and a NUL.
void EncodersInPlace(const uint8_t* data, size_t size, bool lines, const char* expected,
                     size_t text_size) {
  using namespace telvarn;
  const auto length = static_cast<uint32_t>(size);
  const size_t source_size = size != 0 ? size : 1;
  for (const Base64EncodeVariant& variant : kBase64EncodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    for (size_t shift = 0; shift <= kMaxShift; ++shift) {
      const size_t used = std::max(shift + source_size, text_size + 1);
      std::unique_ptr<char[]> block(new char[used]);
      std::memset(block.get(), kFill, used);
      if (size != 0) {
        std::memcpy(block.get() + shift, data, size);
      } else {
        block[shift] = 0;
      }
      const int32_t result = EncodeBase64With(variant.kernel, reinterpret_cast<uint8_t*>(block.get()),
                                              reinterpret_cast<uint8_t*>(block.get() + shift), length,
                                              lines ? 1 : 0);
      if (result != -static_cast<int32_t>(text_size)) std::abort();
      if (std::memcmp(block.get(), expected, text_size) != 0 || block[text_size] != 0) std::abort();
    }
  }
}

void Encoders(const uint8_t* data, size_t size, bool lines) {
  using namespace telvarn;
  const size_t text_size = static_cast<size_t>(EncodedBase64Length(size, lines ? 1 : 0));
  Guarded expected(text_size);
  base64_internal::EncodePortable(reinterpret_cast<char*>(expected.data()), data, size, lines);
  for (const Base64EncodeVariant& variant : kBase64EncodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    Guarded text(text_size);
    variant.kernel(reinterpret_cast<char*>(text.data()), data, size, lines);
    text.CheckGuards(text_size);
    if (std::memcmp(text.data(), expected.data(), text_size) != 0) std::abort();
  }
  EncodersInPlace(data, size, lines, reinterpret_cast<const char*>(expected.data()), text_size);
}

// Every NUL scan on the input up to its first zero byte, at each of 16 starts
// within an aligned block, in a heap block that ends with the NUL.
void NulScans(const uint8_t* data, size_t len) {
  using namespace telvarn;
  for (size_t start = 0; start < 16; ++start) {
    std::unique_ptr<char[]> block(new char[start + len + 1]);
    std::memcpy(block.get() + start, data, len);
    block[start + len] = 0;
    for (const TextLengthVariant& variant : kTextLengthKernels) {
      if (!variant.supported(GetCpuFeatures())) continue;
      if (variant.kernel(block.get() + start) != len) std::abort();
    }
  }
}

// The input up to its first zero byte as a NUL-terminated text, trailing CR and
// LF included, decoded through the exports' placement rules: in place and into
// destinations below it, in one heap block that ends with the text's NUL (so that
// the address sanitizer sees any read past it) or with the room the bytes may
// take, 3 per started group of 4 characters, when that reaches further.
void DecodersInPlace(const uint8_t* data, size_t len) {
  using namespace telvarn;
  std::unique_ptr<char[]> reference_text(new char[len + 1]);
  std::memcpy(reference_text.get(), data, len);
  reference_text[len] = 0;
  Guarded expected(3 * ((len + 3) / 4));
  const int32_t count = DecodeBase64With(&base64_internal::DecodePortable, expected.data(),
                                         reference_text.get());
  const auto bytes = static_cast<size_t>(-static_cast<int64_t>(count));
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    for (size_t shift = 0; shift <= kMaxShift; ++shift) {
      const size_t used = std::max(shift + len + 1, 3 * ((len + 3) / 4));
      std::unique_ptr<char[]> block(new char[used]);
      std::memset(block.get(), kFill, used);
      std::memcpy(block.get() + shift, data, len);
      block[shift + len] = 0;
      if (DecodeBase64With(variant.kernel, reinterpret_cast<uint8_t*>(block.get()),
                           block.get() + shift) != count) {
        std::abort();
      }
      if (bytes != 0 && std::memcmp(block.get(), expected.data(), bytes) != 0) std::abort();
    }
  }
}

// The input as a trimmed text (up to its first zero byte, trailing CR and LF
// dropped), in a block of exactly its length.
void Decoders(const uint8_t* data, size_t size) {
  using namespace telvarn;
  size_t len = 0;
  while (len < size && data[len] != 0) ++len;
  NulScans(data, len);
  DecodersInPlace(data, len);
  while (len > 0 && (data[len - 1] == '\r' || data[len - 1] == '\n')) --len;
  if (len == 0) return;
  std::unique_ptr<char[]> text(new char[len]);
  std::memcpy(text.get(), data, len);
  const uint32_t drop = (text[len - 1] == '=' ? 1u : 0u) + (len >= 2 && text[len - 2] == '=' ? 1u : 0u);
  const size_t room = 3 * ((len + 3) / 4);
  Guarded expected(room);
  const size_t count = base64_internal::DecodePortable(expected.data(), text.get(), len, drop);
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    Guarded bytes(room);
    if (variant.kernel(bytes.data(), text.get(), len, drop) != count) std::abort();
    bytes.CheckGuards(count);
    if (count != 0 && std::memcmp(bytes.data(), expected.data(), count) != 0) std::abort();
  }
}

}  // namespace

// The first byte picks the direction (and for encoding the line mode); the rest is
// the source or the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0] % 3;
  if (mode == 2) {
    Decoders(data + 1, size - 1);
  } else {
    Encoders(data + 1, size - 1, mode == 1);
  }
  return 0;
}
