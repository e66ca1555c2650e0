// SHA-1 compression with the SHA extensions (built with -msha -mssse3 -msse4.1 only).
//
// SHA1RNDS4 runs four rounds on A:B:C:D held with A in the top lane; its second
// operand carries the four message words plus E, which enters only the first of
// the four rounds, in the top lane. SHA1NEXTE makes that E from the A of four rounds
// back (rotated left by 30) and adds it to the next message words, so the state
// before each group is kept until the following group. Message words are big-endian
// with word 0 in the top lane, which one PSHUFB reversing all 16 bytes produces.
// The round loop needs seven XMM registers (state, previous state and four
// message groups, plus one temporary), which fits the eight of 32-bit mode; the
// byte-reversal mask is read from memory and the block's starting state waits on
// the stack.
#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

alignas(16) const uint8_t kReverseBytes[16] = {15, 14, 13, 12, 11, 10, 9, 8,
                                               7,  6,  5,  4,  3,  2,  1, 0};

inline __m128i LoadWords(const uint8_t* data) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(kReverseBytes)));
}

// Words t..t+3 from the sixteen before them: SHA1MSG1 XORs in words t-16 and t-14,
// the XOR adds t-8, and SHA1MSG2 adds t-3 and rotates (t+3 depends on t itself,
// which the instruction handles).
inline __m128i NextWords(__m128i words_16, __m128i words_12, __m128i words_8, __m128i words_4) {
  return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(words_16, words_12), words_8),
                            words_4);
}

// kFunction selects the round function and constant: 0 for rounds 0-19, 1 for
// 20-39, 2 for 40-59, 3 for 60-79.
template <int kFunction>
inline void FourRounds(__m128i& abcd, __m128i& previous_abcd, __m128i words) {
  const __m128i e_and_words = _mm_sha1nexte_epu32(previous_abcd, words);
  previous_abcd = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e_and_words, kFunction);
}

}  // namespace

void Sha1CompressShaNi(uint32_t state[5], const uint8_t* data, size_t blocks) {
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e = _mm_insert_epi32(_mm_setzero_si128(), static_cast<int>(state[4]), 3);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abcd_start = abcd;
    const __m128i e_start = e;
    __m128i w0 = LoadWords(data);
    __m128i w1 = LoadWords(data + 16);
    __m128i w2 = LoadWords(data + 32);
    __m128i w3 = LoadWords(data + 48);

    __m128i previous_abcd = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, w0), 0);
    FourRounds<0>(abcd, previous_abcd, w1);
    FourRounds<0>(abcd, previous_abcd, w2);
    FourRounds<0>(abcd, previous_abcd, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<0>(abcd, previous_abcd, w0);

    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<1>(abcd, previous_abcd, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<1>(abcd, previous_abcd, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<1>(abcd, previous_abcd, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<1>(abcd, previous_abcd, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<1>(abcd, previous_abcd, w1);

    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<2>(abcd, previous_abcd, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<2>(abcd, previous_abcd, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<2>(abcd, previous_abcd, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<2>(abcd, previous_abcd, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<2>(abcd, previous_abcd, w2);

    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<3>(abcd, previous_abcd, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<3>(abcd, previous_abcd, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<3>(abcd, previous_abcd, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<3>(abcd, previous_abcd, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<3>(abcd, previous_abcd, w3);

    // The E after round 79 is the A of four rounds back, rotated; SHA1NEXTE adds it
    // to the starting E in the top lane.
    e = _mm_sha1nexte_epu32(previous_abcd, e_start);
    abcd = _mm_add_epi32(abcd, abcd_start);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace telvarn::sha_internal
