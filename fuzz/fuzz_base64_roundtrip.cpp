// libFuzzer target: any bytes, encoded on one line or in 72-character lines, decode back exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/base64.h"
#include "support/guarded_buffer.h"

namespace {

constexpr uint8_t kFill = 0xA5;
constexpr size_t kGuard = 8;

void RoundTrip(const uint8_t* data, size_t size, int32_t line_mode) {
  // A zero length means "up to the first NUL", so an empty input is a lone NUL.
  const uint8_t nul = 0;
  const uint8_t* source = size == 0 ? &nul : data;
  const auto length = static_cast<uint32_t>(size);

  const size_t text_size = static_cast<size_t>(telvarn::EncodedBase64Length(size, line_mode));
  telvarn::test::GuardedBuffer text(text_size + 1, kGuard, kFill, kFill);
  const int32_t encoded = telvarn::EncodeBase64(text.data(), source, length, line_mode);
  if (encoded != -static_cast<int64_t>(text_size)) std::abort();
  if (std::strlen(text.chars()) != text_size) std::abort();
  if (!text.Damage().empty()) std::abort();
  const bool has_break = std::memchr(text.data(), '\r', text_size) != nullptr;
  if (has_break != (line_mode == 1)) std::abort();

  // Encoding in place gives the same text.
  std::unique_ptr<uint8_t[]> in_place(new uint8_t[text_size + 1]);
  if (size != 0) std::memcpy(in_place.get(), data, size);
  if (size == 0) in_place[0] = 0;
  if (telvarn::EncodeBase64(in_place.get(), in_place.get(), length, line_mode) != encoded) {
    std::abort();
  }
  if (std::memcmp(in_place.get(), text.data(), text_size + 1) != 0) std::abort();

  telvarn::test::GuardedBuffer bytes(size, kGuard, kFill, kFill);
  const int32_t decoded = telvarn::DecodeBase64(bytes.data(), text.chars());
  if (decoded != -static_cast<int64_t>(size)) std::abort();
  if (size != 0 && std::memcmp(bytes.data(), data, size) != 0) std::abort();
  if (!bytes.Damage().empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RoundTrip(data, size, 0);
  RoundTrip(data, size, 1);
  return 0;
}
