// The length of a NUL-terminated text, sixteen bytes per step with SSE2.
#include <emmintrin.h>

#include "codec/base64_private.h"

namespace telvarn::base64_internal {
namespace {

// Every load is a 16-byte aligned block. Such a block never crosses a page
// boundary, so the bytes it takes beyond the NUL (or before the text, in the first
// block) lie on a page the text itself occupies and cannot fault. They may lie
// outside the text's allocation all the same, which the sanitizers are told to
// let pass here, as they do for the C library's own vector strlen.
__attribute__((no_sanitize("address", "thread"), always_inline)) inline uint32_t NulMask(
    const char* block) {
  const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
}

}  // namespace

__attribute__((no_sanitize("address", "thread"))) size_t TextLengthSse2(const char* text) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(text);
  const char* block = text - (address & 15);
  const uint32_t first = NulMask(block) >> (address & 15);
  if (first != 0) return static_cast<size_t>(__builtin_ctz(first));
  for (;;) {
    block += 16;
    const uint32_t mask = NulMask(block);
    if (mask != 0) return static_cast<size_t>(block - text) + static_cast<size_t>(__builtin_ctz(mask));
  }
}

}  // namespace telvarn::base64_internal
