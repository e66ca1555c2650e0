// SHA-256 compression with the SHA extensions (built with -msha -mssse3 -msse4.1 only).
//
// SHA256RNDS2 runs two rounds on the state split as A:B:E:F and C:D:G:H (A and C in
// the top lanes), taking the two message-plus-constant words from the low lanes
// of its third operand, which the instruction reads from XMM0. Four rounds are one
// call with words t, t+1 and a second with t+2, t+3 moved down. Message words are
// big-endian: PSHUFB swaps the bytes within each word.
// The round loop keeps the two state halves and four message groups in registers
// plus the XMM0 temporary, which fits the eight of 32-bit mode; the constants and
// the byte-swap mask are read from memory (16-byte aligned, so they fold into the
// instructions) and the block's starting state waits on the stack.
#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

alignas(16) const uint8_t kSwapWordBytes[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};

inline __m128i LoadWords(const uint8_t* data) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(kSwapWordBytes)));
}

// Words t..t+3 from the sixteen before them: SHA256MSG1 adds sigma0 of words
// t-15..t-12 to t-16..t-13, the ALIGNR adds t-7..t-4, and SHA256MSG2 adds sigma1 of
// t-2 and t-1 (and of t, t+1 for the upper two, which it computes in turn).
inline __m128i NextWords(__m128i words_16, __m128i words_12, __m128i words_8, __m128i words_4) {
  const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(words_16, words_12),
                                        _mm_alignr_epi8(words_4, words_8, 4));
  return _mm_sha256msg2_epu32(partial, words_4);
}

inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i words, const uint32_t* constants) {
  const __m128i input =
      _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i*>(constants)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(input, 0x0E));
}

}  // namespace

void Sha256CompressShaNi(uint32_t state[8], const uint8_t* data, size_t blocks) {
  // state[0..3] is A, B, C, D from the low lane up; state[4..7] is E, F, G, H.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; blocks > 0; --blocks, data += 64) {
    // Eight blocks ahead, and only inside the caller's buffer. The hardware
    // prefetchers stop at 4 KiB page boundaries; long inputs hash a few percent faster.
    if (blocks > 8) _mm_prefetch(reinterpret_cast<const char*>(data) + 512, _MM_HINT_T0);
    const __m128i abef_start = abef;
    const __m128i cdgh_start = cdgh;
    __m128i w0 = LoadWords(data);
    __m128i w1 = LoadWords(data + 16);
    __m128i w2 = LoadWords(data + 32);
    __m128i w3 = LoadWords(data + 48);
    FourRounds(abef, cdgh, w0, kSha256RoundConstants);
    FourRounds(abef, cdgh, w1, kSha256RoundConstants + 4);
    FourRounds(abef, cdgh, w2, kSha256RoundConstants + 8);
    FourRounds(abef, cdgh, w3, kSha256RoundConstants + 12);
    for (int round = 16; round < 64; round += 16) {
      w0 = NextWords(w0, w1, w2, w3);
      FourRounds(abef, cdgh, w0, kSha256RoundConstants + round);
      w1 = NextWords(w1, w2, w3, w0);
      FourRounds(abef, cdgh, w1, kSha256RoundConstants + round + 4);
      w2 = NextWords(w2, w3, w0, w1);
      FourRounds(abef, cdgh, w2, kSha256RoundConstants + round + 8);
      w3 = NextWords(w3, w0, w1, w2);
      FourRounds(abef, cdgh, w3, kSha256RoundConstants + round + 12);
    }
    abef = _mm_add_epi32(abef, abef_start);
    cdgh = _mm_add_epi32(cdgh, cdgh_start);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace telvarn::sha_internal
