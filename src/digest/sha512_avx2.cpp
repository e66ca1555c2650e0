// SHA-512 compression with AVX2 on XMM registers, for processors without AVX-512 (built with -mavx2 only).
//
// The same layout as the AVX-512 form: the working words in four registers as pairs
// {e, a}, {f, b}, {g, c}, {h, d} (low lane first), one round working on both halves,
// the new pair {d + T1, T1 + T2} made with one PALIGNR, and the message schedule two
// words per register, sixteen rounds ahead, in the same loop. AVX2 has no rotate and
// no ternary logic: a rotation is two shifts and an OR, but VPSRLVQ/VPSLLVQ shift each
// lane by its own count, so {Sigma1(e), Sigma0(a)} still comes from one set of shifts.
// Maj(a, b, c) = a ? (b | c) : (b & c) is a choice like Ch(e, f, g) = e ? f : g, so
// blending {f, b | c} and {g, b & c} lets one choice give {Ch, Maj}.
#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

// VPBLENDD mask taking the high 64-bit lane from the second operand.
constexpr int kHighLaneDwords = 0xC;

struct RoundContext {
  __m128i right_first, left_first;    // {14, 28} and {50, 36}
  __m128i right_second, left_second;  // {18, 34} and {46, 30}
  __m128i right_third, left_third;    // {41, 39} and {23, 25}
};

inline __m128i Rotr(__m128i x, __m128i right, __m128i left) {
  return _mm_or_si128(_mm_srlv_epi64(x, right), _mm_sllv_epi64(x, left));
}

// x ? y : z in every bit.
inline __m128i Choose(__m128i x, __m128i y, __m128i z) {
  return _mm_xor_si128(_mm_and_si128(_mm_xor_si128(y, z), x), z);
}

// Returns the new {e, a}; the caller renames {e, a} -> {f, b} -> {g, c} -> {h, d}.
inline __m128i Round(const RoundContext& rc, __m128i ea, __m128i fb, __m128i gc, __m128i hd,
                     const uint64_t* round_input) {
  __m128i sigmas = _mm_xor_si128(_mm_xor_si128(Rotr(ea, rc.right_first, rc.left_first),
                                               Rotr(ea, rc.right_second, rc.left_second)),
                                 Rotr(ea, rc.right_third, rc.left_third));
  __m128i f_bc_or = _mm_blend_epi32(fb, _mm_or_si128(fb, gc), kHighLaneDwords);
  __m128i g_bc_and = _mm_blend_epi32(gc, _mm_and_si128(fb, gc), kHighLaneDwords);
  __m128i ch_maj = Choose(ea, f_bc_or, g_bc_and);
  // MOVQ keeps the low lane and clears the high one: {h + W[t] + K[t], 0}.
  __m128i h_plus_input = _mm_move_epi64(
      _mm_add_epi64(hd, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(round_input))));
  __m128i t1_t2 = _mm_add_epi64(sigmas, _mm_add_epi64(ch_maj, h_plus_input));
  // {T1, T2} + {d, T1}: PALIGNR takes d from the high lane of {h, d} and T1 from the low lane of {T1, T2}.
  return _mm_add_epi64(t1_t2, _mm_alignr_epi8(t1_t2, hd, 8));
}

inline __m128i SmallSigma0(__m128i x) {
  // Rotating by 8 moves whole bytes: one PSHUFB.
  const __m128i rotate_bytes = _mm_set_epi8(8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6, 5, 4, 3, 2, 1);
  __m128i rotr1 = _mm_or_si128(_mm_srli_epi64(x, 1), _mm_slli_epi64(x, 63));
  return _mm_xor_si128(_mm_xor_si128(rotr1, _mm_shuffle_epi8(x, rotate_bytes)), _mm_srli_epi64(x, 7));
}

inline __m128i SmallSigma1(__m128i x) {
  __m128i right = _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(x, 19), _mm_srli_epi64(x, 61)),
                                _mm_srli_epi64(x, 6));
  return _mm_xor_si128(right, _mm_xor_si128(_mm_slli_epi64(x, 45), _mm_slli_epi64(x, 3)));
}

inline __m128i Load(const uint64_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i LoadUnaligned(const uint64_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint64_t* p, __m128i x) { _mm_store_si128(reinterpret_cast<__m128i*>(p), x); }

// W[t], W[t + 1] for even t >= 16, and the round inputs W + K beside them.
inline void SchedulePair(uint64_t* w, uint64_t* round_input, int t) {
  __m128i words = _mm_add_epi64(_mm_add_epi64(Load(w + t - 16), SmallSigma0(LoadUnaligned(w + t - 15))),
                                _mm_add_epi64(LoadUnaligned(w + t - 7), SmallSigma1(Load(w + t - 2))));
  Store(w + t, words);
  Store(round_input + t, _mm_add_epi64(words, LoadUnaligned(kSha512RoundConstants + t)));
}

}  // namespace

void Sha512CompressAvx2(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const RoundContext rc{_mm_set_epi64x(28, 14), _mm_set_epi64x(36, 50), _mm_set_epi64x(34, 18),
                        _mm_set_epi64x(30, 46), _mm_set_epi64x(39, 41), _mm_set_epi64x(25, 23)};
  // Reverses the bytes of each 64-bit word: the message is big-endian.
  const __m128i byte_swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
  __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i cd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 2));
  __m128i ef = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  __m128i gh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 6));
  __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
  __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
  alignas(16) uint64_t w[80];
  alignas(16) uint64_t round_input[80];
  for (; blocks > 0; --blocks, data += 128) {
    for (int t = 0; t < 16; t += 2) {
      __m128i words =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 8 * t)), byte_swap);
      Store(w + t, words);
      Store(round_input + t, _mm_add_epi64(words, LoadUnaligned(kSha512RoundConstants + t)));
    }
    const __m128i ea0 = ea, fb0 = fb, gc0 = gc, hd0 = hd;
    // Four rounds bring the names back to where they started.
    for (int t = 0; t < 80; t += 4) {
      if (t < 64) {
        SchedulePair(w, round_input, t + 16);
        SchedulePair(w, round_input, t + 18);
      }
      hd = Round(rc, ea, fb, gc, hd, round_input + t);
      gc = Round(rc, hd, ea, fb, gc, round_input + t + 1);
      fb = Round(rc, gc, hd, ea, fb, round_input + t + 2);
      ea = Round(rc, fb, gc, hd, ea, round_input + t + 3);
    }
    ea = _mm_add_epi64(ea, ea0);
    fb = _mm_add_epi64(fb, fb0);
    gc = _mm_add_epi64(gc, gc0);
    hd = _mm_add_epi64(hd, hd0);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_unpackhi_epi64(ea, fb));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 2), _mm_unpackhi_epi64(gc, hd));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_unpacklo_epi64(ea, fb));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 6), _mm_unpacklo_epi64(gc, hd));
}

}  // namespace telvarn::sha_internal
