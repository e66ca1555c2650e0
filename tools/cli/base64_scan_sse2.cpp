// The byte scans under Base64 decoding, sixteen bytes a step with SSE2.
#include <emmintrin.h>

#include <cstring>

#include "cli/base64_scan.h"

namespace telvarn::cli::scan_internal {
namespace {

// A mask bit per byte that is a letter of the alphabet. Bytes from 0x80 compare as
// negative and fall outside every range.
int AlphabetMask(__m128i v) {
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
  const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('z' + 1)));
  const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
  const __m128i sign = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('+')), _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
  return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(upper, lower), _mm_or_si128(digit, sign)));
}

}  // namespace

size_t AlphabetRunSse2(const uint8_t* bytes, size_t count) {
  size_t run = 0;
  while (run + 16 <= count) {
    const int mask = AlphabetMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + run)));
    if (mask != 0xFFFF) return run + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(~mask)));
    run += 16;
  }
  return run + AlphabetRunPortable(bytes + run, count - run);
}

size_t DropLineBreaksSse2(char* text, size_t count) {
  size_t in = 0;
  size_t out = 0;
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  while (in + 16 <= count) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + in));
    const int breaks = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, line_feed), _mm_cmpeq_epi8(v, carriage_return)));
    if (breaks == 0) {
      // out never passes in: the store reaches no byte beyond the sixteen just loaded.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(text + out), v);
      out += 16;
    } else {
      for (int i = 0; i < 16; ++i) {
        if ((breaks >> i & 1) == 0) text[out++] = text[in + static_cast<size_t>(i)];
      }
    }
    in += 16;
  }
  for (; in < count; ++in) {
    if (text[in] != '\n' && text[in] != '\r') text[out++] = text[in];
  }
  return out;
}

}  // namespace telvarn::cli::scan_internal
