// The SHA-512 block loop on 64-bit __m64 words that the MMX and SSE2 variants share, around the addition each supplies.
//
// Included only by the variant files. Each instantiates CompressSha512M64 with an
// addition type from its own anonymous namespace, so every instantiation has
// internal linkage: the linker cannot fold the SSE2-compiled copy into the MMX file,
// whose processors may lack SSE2. The function ends with EMMS, which hands the MMX
// registers back to the x87 floating-point unit they share.
#pragma once

#include <mmintrin.h>

#include <cstring>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {

inline __m64 RotrM64(__m64 x, int n) { return _mm_or_si64(_mm_srli_si64(x, n), _mm_slli_si64(x, 64 - n)); }

inline __m64 M64FromWord(uint64_t word) {
  return _mm_set_pi32(static_cast<int>(word >> 32), static_cast<int>(word & 0xFFFFFFFFu));
}

inline uint64_t WordFromM64(__m64 x) {
  uint64_t word;
  std::memcpy(&word, &x, sizeof word);
  return word;
}

// Adder: a type whose static Add(a, b) is the 64-bit sum a + b.
template <class Adder>
void CompressSha512M64(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const auto add = [](__m64 a, __m64 b) { return Adder::Add(a, b); };
  __m64 h[8];
  for (int i = 0; i < 8; ++i) h[i] = M64FromWord(state[i]);
  for (; blocks > 0; --blocks, data += 128) {
    __m64 w[80];
    for (int t = 0; t < 16; ++t) w[t] = M64FromWord(LoadBe64(data + 8 * t));
    for (int t = 16; t < 80; ++t) {
      __m64 x = w[t - 15], y = w[t - 2];
      __m64 s0 = _mm_xor_si64(_mm_xor_si64(RotrM64(x, 1), RotrM64(x, 8)), _mm_srli_si64(x, 7));
      __m64 s1 = _mm_xor_si64(_mm_xor_si64(RotrM64(y, 19), RotrM64(y, 61)), _mm_srli_si64(y, 6));
      w[t] = add(add(w[t - 16], s0), add(w[t - 7], s1));
    }
    __m64 a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int t = 0; t < 80; ++t) {
      __m64 sigma1 = _mm_xor_si64(_mm_xor_si64(RotrM64(e, 14), RotrM64(e, 18)), RotrM64(e, 41));
      __m64 choose = _mm_xor_si64(_mm_and_si64(e, f), _mm_andnot_si64(e, g));
      __m64 t1 = add(add(hh, sigma1), add(choose, add(M64FromWord(kSha512RoundConstants[t]), w[t])));
      __m64 sigma0 = _mm_xor_si64(_mm_xor_si64(RotrM64(a, 28), RotrM64(a, 34)), RotrM64(a, 39));
      __m64 majority =
          _mm_xor_si64(_mm_xor_si64(_mm_and_si64(a, b), _mm_and_si64(a, c)), _mm_and_si64(b, c));
      __m64 t2 = add(sigma0, majority);
      hh = g;
      g = f;
      f = e;
      e = add(d, t1);
      d = c;
      c = b;
      b = a;
      a = add(t1, t2);
    }
    h[0] = add(h[0], a);
    h[1] = add(h[1], b);
    h[2] = add(h[2], c);
    h[3] = add(h[3], d);
    h[4] = add(h[4], e);
    h[5] = add(h[5], f);
    h[6] = add(h[6], g);
    h[7] = add(h[7], hh);
  }
  for (int i = 0; i < 8; ++i) state[i] = WordFromM64(h[i]);
  _mm_empty();
}

}  // namespace telvarn::sha_internal
