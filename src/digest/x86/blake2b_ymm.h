// The BLAKE2b YMM form: the sixteen working words as four rows of four 64-bit lanes, the rotations given by the instruction set.
//
// Each G step works on a whole row at once: the column step on the rows as they
// stand, the diagonal step after rotating rows 2, 3 and 4 by one, two and three
// lanes (VPERMQ), and back. The message words of each round are gathered into
// four vectors in the order the round's schedule row names them. The rows and
// two message vectors take seven registers, so the form suits the eight YMM
// registers of 32-bit mode, the one build it is for: in 64-bit mode the portable
// form in general registers is faster. Included only by files built with AVX2.
// An AVX-512VL form with VPRORQ for every rotation measured no faster on AMD
// Zen 4: the lane-crossing VPERMQ and the gathers bound a round, not the rotations.
#pragma once

#include <immintrin.h>

#include <cstring>
#include <utility>

#include "digest/blake2_private.h"

namespace telvarn::blake2_internal {

struct Blake2bRows {
  __m256i a, b, c, d;
};

inline __m256i GatherWords(const uint64_t m[16], int a, int b, int c, int d) {
  return _mm256_set_epi64x(static_cast<long long>(m[d]), static_cast<long long>(m[c]), static_cast<long long>(m[b]),
                           static_cast<long long>(m[a]));
}

// Half of G on every lane: add, then the two rotations (32 and 24 in the first
// half, 16 and 63 in the second), which Rotate gives.
template <class Rotate, bool kFirst>
inline void HalfMix(Blake2bRows& r, __m256i x, const Rotate& rotate) {
  r.a = _mm256_add_epi64(_mm256_add_epi64(r.a, r.b), x);
  r.d = _mm256_xor_si256(r.d, r.a);
  r.d = kFirst ? rotate.By32(r.d) : rotate.By16(r.d);
  r.c = _mm256_add_epi64(r.c, r.d);
  r.b = _mm256_xor_si256(r.b, r.c);
  r.b = kFirst ? rotate.By24(r.b) : rotate.By63(r.b);
}

template <class Rotate, size_t kRound>
inline void RowRound(Blake2bRows& r, const uint64_t m[16], const Rotate& rotate) {
  constexpr const uint8_t* s = kBlake2Sigma[kRound % 10];
  HalfMix<Rotate, true>(r, GatherWords(m, s[0], s[2], s[4], s[6]), rotate);
  HalfMix<Rotate, false>(r, GatherWords(m, s[1], s[3], s[5], s[7]), rotate);
  r.b = _mm256_permute4x64_epi64(r.b, _MM_SHUFFLE(0, 3, 2, 1));
  r.c = _mm256_permute4x64_epi64(r.c, _MM_SHUFFLE(1, 0, 3, 2));
  r.d = _mm256_permute4x64_epi64(r.d, _MM_SHUFFLE(2, 1, 0, 3));
  HalfMix<Rotate, true>(r, GatherWords(m, s[8], s[10], s[12], s[14]), rotate);
  HalfMix<Rotate, false>(r, GatherWords(m, s[9], s[11], s[13], s[15]), rotate);
  r.b = _mm256_permute4x64_epi64(r.b, _MM_SHUFFLE(2, 1, 0, 3));
  r.c = _mm256_permute4x64_epi64(r.c, _MM_SHUFFLE(1, 0, 3, 2));
  r.d = _mm256_permute4x64_epi64(r.d, _MM_SHUFFLE(0, 3, 2, 1));
}

template <class Rotate, size_t... kRounds>
inline void RowRounds(Blake2bRows& r, const uint64_t m[16], const Rotate& rotate, std::index_sequence<kRounds...>) {
  (RowRound<Rotate, kRounds>(r, m, rotate), ...);
}

// The compression of dispatch.h's Blake2bCompressFn on rows.
template <class Rotate>
inline void Blake2bCompressRows(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count, bool last,
                                const Rotate& rotate) {
  const __m256i iv_low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kBlake2bIv));
  const __m256i iv_high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kBlake2bIv + 4));
  __m256i h_low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h));
  __m256i h_high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + 4));
  for (; block_count > 0; --block_count, blocks += 128) {
    if (!last) {
      t[0] += 128;
      if (t[0] < 128) ++t[1];
    }
    // Little-endian words, as the processor loads them.
    uint64_t m[16];
    std::memcpy(m, blocks, sizeof m);
    const __m256i counter = _mm256_set_epi64x(0, last ? -1 : 0, static_cast<long long>(t[1]),
                                              static_cast<long long>(t[0]));
    Blake2bRows r{h_low, h_high, iv_low, _mm256_xor_si256(iv_high, counter)};
    RowRounds(r, m, rotate, std::make_index_sequence<12>{});
    h_low = _mm256_xor_si256(h_low, _mm256_xor_si256(r.a, r.c));
    h_high = _mm256_xor_si256(h_high, _mm256_xor_si256(r.b, r.d));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(h), h_low);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + 4), h_high);
}

}  // namespace telvarn::blake2_internal
