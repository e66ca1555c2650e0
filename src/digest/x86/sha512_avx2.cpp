// SHA-512 compression with AVX2 on XMM registers, for processors without AVX-512 (built with -mavx2 only).
//
// The same layout as the AVX-512 form (see sha512_xmm.h): one round works on both
// halves and makes the new pair {d + T1, T1 + T2} with one PALIGNR. AVX2 has no rotate and
// no ternary logic: a rotation is two shifts and an OR, but VPSRLVQ/VPSLLVQ shift each
// lane by its own count, so {Sigma1(e), Sigma0(a)} still comes from one set of shifts.
// Maj(a, b, c) = a ? (b | c) : (b & c) is a choice like Ch(e, f, g) = e ? f : g, so
// blending {f, b | c} and {g, b & c} lets one choice give {Ch, Maj}.
#include "digest/x86/sha512_xmm.h"

namespace telvarn::sha_internal {
namespace {

// VPBLENDD mask taking the high 64-bit lane from the second operand.
constexpr int kHighLaneDwords = 0xC;

inline __m128i Rotr(__m128i x, __m128i right, __m128i left) {
  return _mm_or_si128(_mm_srlv_epi64(x, right), _mm_sllv_epi64(x, left));
}

// x ? y : z in every bit.
inline __m128i Choose(__m128i x, __m128i y, __m128i z) {
  return _mm_xor_si128(_mm_and_si128(_mm_xor_si128(y, z), x), z);
}

struct Avx2Rounds {
  // Rotation counts of {Sigma1(e), Sigma0(a)}, each rotation as a right and a left shift.
  const __m128i right_first = _mm_set_epi64x(28, 14), left_first = _mm_set_epi64x(36, 50);
  const __m128i right_second = _mm_set_epi64x(34, 18), left_second = _mm_set_epi64x(30, 46);
  const __m128i right_third = _mm_set_epi64x(39, 41), left_third = _mm_set_epi64x(25, 23);

  __m128i Round(__m128i ea, __m128i fb, __m128i gc, __m128i hd, const uint64_t* round_input) const {
    __m128i sigmas = _mm_xor_si128(
        _mm_xor_si128(Rotr(ea, right_first, left_first), Rotr(ea, right_second, left_second)),
        Rotr(ea, right_third, left_third));
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

  static __m128i SmallSigma0(__m128i x) {
    // Rotating by 8 moves whole bytes: one PSHUFB.
    const __m128i rotate_bytes = _mm_set_epi8(8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6, 5, 4, 3, 2, 1);
    __m128i rotr1 = _mm_or_si128(_mm_srli_epi64(x, 1), _mm_slli_epi64(x, 63));
    return _mm_xor_si128(_mm_xor_si128(rotr1, _mm_shuffle_epi8(x, rotate_bytes)), _mm_srli_epi64(x, 7));
  }

  static __m128i SmallSigma1(__m128i x) {
    __m128i right = _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(x, 19), _mm_srli_epi64(x, 61)),
                                  _mm_srli_epi64(x, 6));
    return _mm_xor_si128(right, _mm_xor_si128(_mm_slli_epi64(x, 45), _mm_slli_epi64(x, 3)));
  }
};

}  // namespace

void Sha512CompressAvx2(uint64_t state[8], const uint8_t* data, size_t blocks) {
  CompressSha512Xmm<Avx2Rounds>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
