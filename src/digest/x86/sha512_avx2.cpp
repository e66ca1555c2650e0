// SHA-512 compression with AVX2 on XMM registers, for processors without AVX-512 (built with -mavx2 only).
//
// The same layout as the AVX-512 form (see sha512_xmm.h): one round works on both
// halves and makes the new pair {d + T1, T1 + T2}. AVX2 has no rotate and no
// ternary logic, but VPSRLVQ/VPSLLVQ shift each lane by its own count, so
// {Sigma1(e), Sigma0(a)} still comes from one set of shifts on {e, a}:
// - A rotation is a right and a left shift, so the three rotations are the XOR of
//   three right shifts and the XOR of three left shifts. Written as three separate
//   rotations they need six shifted copies live at once, which eight XMM registers
//   cannot hold beside the state: the compiler spills them, and every spill puts a
//   store and its reload on the round's chain. Each half is
//   therefore factored into a chain, x >> 14 ^ x >> 18 ^ x >> 41 being
//   ((x >> 23 ^ x) >> 4 ^ x) >> 14, which keeps two values live: a longer chain,
//   but one with no store and reload on it.
// - Maj(a, b, c) = a ? (b | c) : (b & c) is a choice like Ch(e, f, g) = e ? f : g,
//   so blending {f, b | c} and {g, b & c} lets one choice give {Ch, Maj}.
#include "digest/x86/sha512_xmm.h"

namespace telvarn::sha_internal {
namespace {

// VPBLENDD mask taking the high 64-bit lane from the second operand.
constexpr int kHighLaneDwords = 0xC;

// x ? y : z in every bit.
inline __m128i Choose(__m128i x, __m128i y, __m128i z) {
  return _mm_xor_si128(_mm_and_si128(_mm_xor_si128(y, z), x), z);
}

struct Avx2Rounds {
  // Shift counts of {Sigma1(e), Sigma0(a)}: right shifts by 14, 18, 41 and 28, 34, 39
  // as ((x >> {23, 5} ^ x) >> {4, 6} ^ x) >> {14, 28}, left shifts by 50, 46, 23 and
  // 36, 30, 25 as ((x << {4, 6} ^ x) << {23, 5} ^ x) << {23, 25}.
  // The equal counts are kept apart: GCC loads shared ones differently, at a cost to
  // the rounds.
  const __m128i first_right = _mm_set_epi64x(5, 23), second_right = _mm_set_epi64x(6, 4);
  const __m128i last_right = _mm_set_epi64x(28, 14);
  const __m128i first_left = _mm_set_epi64x(6, 4), second_left = _mm_set_epi64x(5, 23);
  const __m128i last_left = _mm_set_epi64x(25, 23);

  __m128i Round(__m128i ea, __m128i fb, __m128i gc, __m128i hd, const uint64_t* round_input) const {
    __m128i right = _mm_srlv_epi64(
        _mm_xor_si128(_mm_srlv_epi64(_mm_xor_si128(_mm_srlv_epi64(ea, first_right), ea), second_right), ea),
        last_right);
    __m128i left = _mm_sllv_epi64(
        _mm_xor_si128(_mm_sllv_epi64(_mm_xor_si128(_mm_sllv_epi64(ea, first_left), ea), second_left), ea),
        last_left);
    __m128i sigmas = _mm_xor_si128(right, left);
    __m128i f_bc_or = _mm_blend_epi32(fb, _mm_or_si128(fb, gc), kHighLaneDwords);
    __m128i g_bc_and = _mm_blend_epi32(gc, _mm_and_si128(fb, gc), kHighLaneDwords);
    __m128i ch_maj = Choose(ea, f_bc_or, g_bc_and);
    // MOVQ keeps the low lane and clears the high one: {h + W[t] + K[t], 0}.
    __m128i h_plus_input = _mm_move_epi64(
        _mm_add_epi64(hd, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(round_input))));
    __m128i t1_t2 = _mm_add_epi64(sigmas, _mm_add_epi64(ch_maj, h_plus_input));
    // {T1, T2} + {d, T1}: d from {h, d} swapped off the chain, T1 from the low lane of
    // {T1, T2} by PUNPCKLQDQ, a one-cycle shuffle where PALIGNR takes two on Zen 4.
    return _mm_add_epi64(t1_t2, _mm_unpacklo_epi64(_mm_shuffle_epi32(hd, 0x4E), t1_t2));
  }

  static __m128i ByteSwapWords(__m128i x) {
    return _mm_shuffle_epi8(x, _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
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
