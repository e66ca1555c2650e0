// SHA-256 compression with the SHA extensions (built with -msha -mssse3 -msse4.1 only).
//
// SHA256RNDS2 runs two rounds on the state split as A:B:E:F and C:D:G:H (A and C in
// the top lanes), taking the two message-plus-constant words from the low lanes
// of its third operand, which the instruction reads from XMM0. Four rounds are one
// call with words t, t+1 and a second with t+2, t+3 moved down. Message words are
// big-endian: PSHUFB swaps the bytes within each word.
//
// The chain that bounds the speed is one SHA256RNDS2 after another (its latency
// times 32 is the cost of a block; figures in bench/README.md, "The SHA block functions on AMD Zen 4"),
// so nothing else may sit on it:
// - The rounds keep the two state halves and four message groups in registers plus
//   the XMM0 temporary, which fits the eight of 32-bit mode; the constants and the
//   byte-swap mask are read from memory.
// - The block's starting state waits in a volatile stack slot and is added from
//   there. Left to itself, the compiler runs out of registers and instead carries
//   one state half from block to block through the stack, which puts a store and
//   its reload on the chain of every block.
// - The 64 rounds are written out in full, so the message groups only change names.
// - The state enters and leaves with one SHUFPS per half: the job calls this once a
//   chunk (16 blocks from memory, 64 from a file), and the state's reload from the
//   previous call is on the chain too.
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

template <int kRound>
inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i words) {
  const __m128i input = _mm_add_epi32(
      words, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + kRound)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(input, 0x0E));
}

// Rounds kRound to kRound + 15, each group of four with the words it makes first.
template <int kRound>
inline void SixteenScheduledRounds(__m128i& abef, __m128i& cdgh, __m128i& w0, __m128i& w1,
                                   __m128i& w2, __m128i& w3) {
  w0 = NextWords(w0, w1, w2, w3);
  FourRounds<kRound>(abef, cdgh, w0);
  w1 = NextWords(w1, w2, w3, w0);
  FourRounds<kRound + 4>(abef, cdgh, w1);
  w2 = NextWords(w2, w3, w0, w1);
  FourRounds<kRound + 8>(abef, cdgh, w2);
  w3 = NextWords(w3, w0, w1, w2);
  FourRounds<kRound + 12>(abef, cdgh, w3);
}

}  // namespace

void Sha256CompressShaNi(uint32_t state[8], const uint8_t* data, size_t blocks) {
  // state[0..3] is A, B, C, D and state[4..7] E, F, G, H, from the low lane up; the
  // rounds want F, E, B, A and H, G, D, C.
  const __m128 dcba = _mm_loadu_ps(reinterpret_cast<const float*>(state));
  const __m128 hgfe = _mm_loadu_ps(reinterpret_cast<const float*>(state + 4));
  __m128i abef = _mm_castps_si128(_mm_shuffle_ps(hgfe, dcba, 0x11));
  __m128i cdgh = _mm_castps_si128(_mm_shuffle_ps(hgfe, dcba, 0xBB));
  alignas(16) volatile __m128i start[2];

  for (; blocks > 0; --blocks, data += 64) {
    // Eight blocks ahead, and only inside the caller's buffer: the hardware
    // prefetchers stop at 4 KiB page boundaries, where a long input would otherwise wait.
    if (blocks > 8) _mm_prefetch(reinterpret_cast<const char*>(data) + 512, _MM_HINT_T0);
    start[0] = abef;
    start[1] = cdgh;
    __m128i w0 = LoadWords(data);
    __m128i w1 = LoadWords(data + 16);
    __m128i w2 = LoadWords(data + 32);
    __m128i w3 = LoadWords(data + 48);
    FourRounds<0>(abef, cdgh, w0);
    FourRounds<4>(abef, cdgh, w1);
    FourRounds<8>(abef, cdgh, w2);
    FourRounds<12>(abef, cdgh, w3);
    SixteenScheduledRounds<16>(abef, cdgh, w0, w1, w2, w3);
    SixteenScheduledRounds<32>(abef, cdgh, w0, w1, w2, w3);
    SixteenScheduledRounds<48>(abef, cdgh, w0, w1, w2, w3);
    abef = _mm_add_epi32(abef, start[0]);
    cdgh = _mm_add_epi32(cdgh, start[1]);
  }

  const __m128 abef_out = _mm_castsi128_ps(abef);
  const __m128 cdgh_out = _mm_castsi128_ps(cdgh);
  _mm_storeu_ps(reinterpret_cast<float*>(state), _mm_shuffle_ps(abef_out, cdgh_out, 0xBB));
  _mm_storeu_ps(reinterpret_cast<float*>(state + 4), _mm_shuffle_ps(abef_out, cdgh_out, 0x11));
}

}  // namespace telvarn::sha_internal
