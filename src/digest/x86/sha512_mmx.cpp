// SHA-512 compression in 64-bit MMX registers, for processors without SSE2 (built with -mmmx only).
//
// MMX has 64-bit logic and shifts but no 64-bit addition: every sum is made of the
// two 32-bit lane sums plus the low lane's carry moved into the high lane. The carry
// of a + b in each lane is bit 31 of (a AND b) + ((a XOR b) >> 1), which is
// (a + b) / 2 computed without overflowing. The function ends with EMMS, which
// hands the registers back to the x87 floating-point unit they share.
#include <mmintrin.h>

#include <cstring>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

inline __m64 Add(__m64 a, __m64 b) {
  __m64 lanes = _mm_add_pi32(a, b);
  __m64 half = _mm_add_pi32(_mm_and_si64(a, b), _mm_srli_pi32(_mm_xor_si64(a, b), 1));
  __m64 carries = _mm_srli_pi32(half, 31);
  return _mm_add_pi32(lanes, _mm_slli_si64(carries, 32));
}

inline __m64 Rotr(__m64 x, int n) { return _mm_or_si64(_mm_srli_si64(x, n), _mm_slli_si64(x, 64 - n)); }

inline __m64 FromWord(uint64_t word) {
  return _mm_set_pi32(static_cast<int>(word >> 32), static_cast<int>(word & 0xFFFFFFFFu));
}

inline uint64_t ToWord(__m64 x) {
  uint64_t word;
  std::memcpy(&word, &x, sizeof word);
  return word;
}

}  // namespace

void Sha512CompressMmx(uint64_t state[8], const uint8_t* data, size_t blocks) {
  __m64 h[8];
  for (int i = 0; i < 8; ++i) h[i] = FromWord(state[i]);
  for (; blocks > 0; --blocks, data += 128) {
    __m64 w[80];
    for (int t = 0; t < 16; ++t) w[t] = FromWord(LoadBe64(data + 8 * t));
    for (int t = 16; t < 80; ++t) {
      __m64 x = w[t - 15], y = w[t - 2];
      __m64 s0 = _mm_xor_si64(_mm_xor_si64(Rotr(x, 1), Rotr(x, 8)), _mm_srli_si64(x, 7));
      __m64 s1 = _mm_xor_si64(_mm_xor_si64(Rotr(y, 19), Rotr(y, 61)), _mm_srli_si64(y, 6));
      w[t] = Add(Add(w[t - 16], s0), Add(w[t - 7], s1));
    }
    __m64 a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int t = 0; t < 80; ++t) {
      __m64 sigma1 = _mm_xor_si64(_mm_xor_si64(Rotr(e, 14), Rotr(e, 18)), Rotr(e, 41));
      __m64 choose = _mm_xor_si64(_mm_and_si64(e, f), _mm_andnot_si64(e, g));
      __m64 t1 = Add(Add(hh, sigma1), Add(choose, Add(FromWord(kSha512RoundConstants[t]), w[t])));
      __m64 sigma0 = _mm_xor_si64(_mm_xor_si64(Rotr(a, 28), Rotr(a, 34)), Rotr(a, 39));
      __m64 majority =
          _mm_xor_si64(_mm_xor_si64(_mm_and_si64(a, b), _mm_and_si64(a, c)), _mm_and_si64(b, c));
      __m64 t2 = Add(sigma0, majority);
      hh = g;
      g = f;
      f = e;
      e = Add(d, t1);
      d = c;
      c = b;
      b = a;
      a = Add(t1, t2);
    }
    h[0] = Add(h[0], a);
    h[1] = Add(h[1], b);
    h[2] = Add(h[2], c);
    h[3] = Add(h[3], d);
    h[4] = Add(h[4], e);
    h[5] = Add(h[5], f);
    h[6] = Add(h[6], g);
    h[7] = Add(h[7], hh);
  }
  for (int i = 0; i < 8; ++i) state[i] = ToWord(h[i]);
  _mm_empty();
}

}  // namespace telvarn::sha_internal
