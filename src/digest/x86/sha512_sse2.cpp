// SHA-512 compression with SSE2, one 64-bit word per XMM register, for processors without AVX2 (built with -msse2 only).
//
// SSE2 brings the 64-bit addition that MMX lacks. The AVX2 and AVX-512 forms work on
// pairs {e, a} that need a different shift count in each lane, which SSE2 does not
// have, so each working word sits in the low lane of a register of its own, and the
// high lanes carry values nobody reads.
// - Eight working words and their temporaries overflow the eight XMM registers of
//   32-bit mode, and SSE2's two-operand instructions add copies. Each Sigma is
//   written as two factored shift chains, x >> 14 ^ x >> 18 ^ x >> 41 being
//   ((x >> 23 ^ x) >> 4 ^ x) >> 14, so that only two values are live; three
//   rotations written apart would need six, and their spills would put stores and
//   reloads on the round's chain.
// - Maj(a, b, c) = ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next
//   round's b ^ c, so it is carried rather than recomputed.
// - The message schedule runs two words per register, sixteen rounds ahead of the
//   rounds that use them, one pair between every two rounds, to fill the issue
//   slots the rounds' dependency chain leaves free.
#include "digest/x86/sha512_xmm.h"

namespace telvarn::sha_internal {
namespace {

inline __m128i Rotr(__m128i x, int n) {
  return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

// ROTR(x, kFirst) ^ ROTR(x, kSecond) ^ ROTR(x, kThird) for kFirst < kSecond < kThird:
// the right shifts as ((x >> (kThird - kSecond) ^ x) >> (kSecond - kFirst) ^ x) >> kFirst,
// the left shifts likewise.
template <int kFirst, int kSecond, int kThird>
inline __m128i ThreeRotations(__m128i x) {
  static_assert(0 < kFirst && kFirst < kSecond && kSecond < kThird && kThird < 64);
  const __m128i right = _mm_srli_epi64(
      _mm_xor_si128(_mm_srli_epi64(_mm_xor_si128(_mm_srli_epi64(x, kThird - kSecond), x), kSecond - kFirst), x),
      kFirst);
  const __m128i left = _mm_slli_epi64(
      _mm_xor_si128(_mm_slli_epi64(_mm_xor_si128(_mm_slli_epi64(x, kSecond - kFirst), x), kThird - kSecond), x),
      64 - kThird);
  return _mm_xor_si128(right, left);
}

inline __m128i BigSigma0(__m128i a) { return ThreeRotations<28, 34, 39>(a); }
inline __m128i BigSigma1(__m128i e) { return ThreeRotations<14, 18, 41>(e); }

// What the shared message schedule needs, in SSE2.
struct Sse2ScheduleOps {
  static __m128i SmallSigma0(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(Rotr(x, 1), Rotr(x, 8)), _mm_srli_epi64(x, 7));
  }
  static __m128i SmallSigma1(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(Rotr(x, 19), Rotr(x, 61)), _mm_srli_epi64(x, 6));
  }
  // Without SSSE3's PSHUFB: bytes swapped in each 16-bit lane, then the lanes reversed.
  static __m128i ByteSwapWords(__m128i x) {
    x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0x1B), 0x1B);
  }
};

// One round on the words named a to h; the caller renames them. h becomes the new
// a, d the new e. bc holds b ^ c and leaves holding a ^ b.
inline void Round(__m128i a, __m128i b, __m128i& d, __m128i e, __m128i f, __m128i g, __m128i& h, __m128i& bc,
                  const uint64_t* round_input) {
  const __m128i choose = _mm_xor_si128(_mm_and_si128(_mm_xor_si128(f, g), e), g);
  const __m128i h_input = _mm_add_epi64(h, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(round_input)));
  const __m128i t1 = _mm_add_epi64(BigSigma1(e), _mm_add_epi64(h_input, choose));
  const __m128i ab = _mm_xor_si128(a, b);
  const __m128i majority = _mm_xor_si128(_mm_and_si128(ab, bc), b);
  bc = ab;
  d = _mm_add_epi64(d, t1);
  h = _mm_add_epi64(t1, _mm_add_epi64(BigSigma0(a), majority));
}

}  // namespace

void Sha512CompressSse2(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const auto load_word = [](const uint64_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  };
  const auto store_word = [](uint64_t* p, __m128i x) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), x); };
  Sha512Schedule<Sse2ScheduleOps> schedule;
  const auto schedule_ahead = [&](int t) {
    if (t < 64) schedule.Pair(t + 16);
  };

  __m128i a = load_word(state), b = load_word(state + 1), c = load_word(state + 2);
  __m128i d = load_word(state + 3), e = load_word(state + 4), f = load_word(state + 5);
  __m128i g = load_word(state + 6), h = load_word(state + 7);
  for (; blocks > 0; --blocks, data += 128) {
    schedule.Start(data);
    const __m128i a0 = a, b0 = b, c0 = c, d0 = d, e0 = e, f0 = f, g0 = g, h0 = h;
    __m128i bc = _mm_xor_si128(b, c);
    // Eight rounds bring the names back to where they started.
    for (int t = 0; t < 80; t += 8) {
      schedule_ahead(t);
      Round(a, b, d, e, f, g, h, bc, schedule.round_input(t));
      Round(h, a, c, d, e, f, g, bc, schedule.round_input(t + 1));
      schedule_ahead(t + 2);
      Round(g, h, b, c, d, e, f, bc, schedule.round_input(t + 2));
      Round(f, g, a, b, c, d, e, bc, schedule.round_input(t + 3));
      schedule_ahead(t + 4);
      Round(e, f, h, a, b, c, d, bc, schedule.round_input(t + 4));
      Round(d, e, g, h, a, b, c, bc, schedule.round_input(t + 5));
      schedule_ahead(t + 6);
      Round(c, d, f, g, h, a, b, bc, schedule.round_input(t + 6));
      Round(b, c, e, f, g, h, a, bc, schedule.round_input(t + 7));
    }
    a = _mm_add_epi64(a, a0);
    b = _mm_add_epi64(b, b0);
    c = _mm_add_epi64(c, c0);
    d = _mm_add_epi64(d, d0);
    e = _mm_add_epi64(e, e0);
    f = _mm_add_epi64(f, f0);
    g = _mm_add_epi64(g, g0);
    h = _mm_add_epi64(h, h0);
  }
  store_word(state, a);
  store_word(state + 1, b);
  store_word(state + 2, c);
  store_word(state + 3, d);
  store_word(state + 4, e);
  store_word(state + 5, f);
  store_word(state + 6, g);
  store_word(state + 7, h);
}

}  // namespace telvarn::sha_internal
