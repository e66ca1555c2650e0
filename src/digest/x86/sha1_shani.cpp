// SHA-1 compression with the SHA extensions (built with -msha -mssse3 -msse4.1 only).
//
// SHA1RNDS4 runs four rounds on A:B:C:D held with A in the top lane; its second
// operand carries the four message words plus E, which enters only the first of
// the four rounds, in the top lane. SHA1NEXTE makes the next group's E from the A
// going into this group (rotated left by 30) and adds it to the next message words.
// Message words are big-endian with word 0 in the top lane, which one PSHUFB
// reversing all 16 bytes produces.
//
// The chain that bounds the speed is one SHA1RNDS4 after another (its latency is
// the cost of a block; figures in bench/README.md, "The SHA block functions on AMD Zen 4"), so nothing
// else may sit on it or delay it:
// - Each group issues SHA1RNDS4 first, then SHA1NEXTE on the A:B:C:D it started
//   from, then the SHA1MSG1/PXOR/SHA1MSG2 that make the next group's words. The SHA
//   instructions compete for the same execution units, and in this order SHA1RNDS4
//   is the oldest waiting instruction when its inputs arrive. GCC's scheduler after
//   register allocation moves SHA1NEXTE and the message instructions ahead of it,
//   which costs time, so the build turns that pass off for this file
//   (-fno-schedule-insns2) and the instructions keep the order written here.
// - The next block's first E-plus-words is made at the end of the block and carried
//   in a register. In 32-bit mode, with only eight XMM registers, the compiler
//   otherwise keeps E on the stack and the store-to-load forwarding delays the
//   first rounds of every block.
// The rounds need seven XMM registers (state, E-plus-words and its successor, four
// message groups), so the i686 build spills nothing inside a block; the
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

// One group of four rounds with its E-plus-words, which it replaces by the next
// group's. kFunction selects the round function and constant: 0 for rounds 0-19,
// 1 for 20-39, 2 for 40-59, 3 for 60-79.
template <int kFunction>
inline void FourRounds(__m128i& abcd, __m128i& e_and_words, __m128i next_words) {
  const __m128i abcd_in = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e_and_words, kFunction);
  e_and_words = _mm_sha1nexte_epu32(abcd_in, next_words);
}

}  // namespace

void Sha1CompressShaNi(uint32_t state[5], const uint8_t* data, size_t blocks) {
  if (blocks == 0) return;
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e = _mm_insert_epi32(_mm_setzero_si128(), static_cast<int>(state[4]), 3);
  __m128i w0 = LoadWords(data);
  __m128i e_and_words = _mm_add_epi32(e, w0);
  for (;;) {
    // Eight blocks ahead, and only inside the caller's buffer: the hardware
    // prefetchers stop at 4 KiB page boundaries, where a long input would otherwise wait.
    if (blocks > 8) _mm_prefetch(reinterpret_cast<const char*>(data) + 512, _MM_HINT_T0);
    const __m128i abcd_start = abcd;
    const __m128i e_start = e;
    __m128i w1 = LoadWords(data + 16);
    __m128i w2 = LoadWords(data + 32);
    __m128i w3 = LoadWords(data + 48);

    FourRounds<0>(abcd, e_and_words, w1);
    FourRounds<0>(abcd, e_and_words, w2);
    FourRounds<0>(abcd, e_and_words, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<0>(abcd, e_and_words, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<0>(abcd, e_and_words, w1);

    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<1>(abcd, e_and_words, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<1>(abcd, e_and_words, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<1>(abcd, e_and_words, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<1>(abcd, e_and_words, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<1>(abcd, e_and_words, w2);

    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<2>(abcd, e_and_words, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<2>(abcd, e_and_words, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<2>(abcd, e_and_words, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<2>(abcd, e_and_words, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<2>(abcd, e_and_words, w3);

    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<3>(abcd, e_and_words, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<3>(abcd, e_and_words, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<3>(abcd, e_and_words, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<3>(abcd, e_and_words, w3);
    // After round 79 the "next words" are the starting E: SHA1NEXTE adds the E
    // that the rounds leave to it, in the top lane, and keeps the zero lanes.
    FourRounds<3>(abcd, e_and_words, e_start);
    e = e_and_words;
    abcd = _mm_add_epi32(abcd, abcd_start);

    if (--blocks == 0) break;
    data += 64;
    w0 = LoadWords(data);
    e_and_words = _mm_add_epi32(e, w0);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace telvarn::sha_internal
