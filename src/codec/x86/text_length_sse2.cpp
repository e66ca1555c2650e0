// The length of a NUL-terminated text, sixteen bytes per step with SSE2.
#include <emmintrin.h>

#include "codec/base64_private.h"

namespace telvarn::base64_internal {

// Every load is a 16-byte aligned block. Such a block never crosses a page
// boundary, so the bytes it takes beyond the NUL (or before the text, in the first
// block) lie on a page the text itself occupies and cannot fault. That is also
// why this scan is for the DLL only: a sanitizer would rightly report those bytes.
size_t TextLengthSse2(const char* text) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(text);
  const char* block = text - (address & 15);
  const __m128i zero = _mm_setzero_si128();
  const auto nul_mask = [&](const char* at) {
    const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
  };
  const uint32_t first = nul_mask(block) >> (address & 15);
  if (first != 0) return static_cast<size_t>(__builtin_ctz(first));
  for (;;) {
    block += 16;
    const uint32_t mask = nul_mask(block);
    if (mask != 0) return static_cast<size_t>(block - text) + static_cast<size_t>(__builtin_ctz(mask));
  }
}

}  // namespace telvarn::base64_internal
