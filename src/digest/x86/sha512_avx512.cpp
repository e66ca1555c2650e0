// SHA-512 compression with AVX-512VL on XMM registers (built with -mavx512f -mavx512vl -mavx512bw only).
//
// The eight working words live in four registers as pairs (see sha512_xmm.h), so the
// whole state fits beside its temporaries in the eight XMM registers of 32-bit
// mode. One round then does both halves at once:
// VPRORVQ rotates each lane by its own count, giving {Sigma1(e), Sigma0(a)} from
// three rotations and one three-way XOR; and since Maj(a, b, c) = a ? (b | c) : (b & c)
// is a choice like Ch(e, f, g) = e ? f : g, one VPTERNLOGQ on {e, a}, {f, b | c} and
// {g, b & c} gives {Ch, Maj}. The sums give {T1, T2}, and adding {d, T1} gives the new
// pair {d + T1, T1 + T2}, so the other three registers only change names.
//
// A round is bound both by its dependency chain (rotate, XOR, two adds, the move of
// T1 to the high lane, add) and by the vector ports. On AMD Zen 4 the rotates and
// PALIGNR have a latency of two cycles, PSHUFD and PUNPCKLQDQ of one, so {d, T1} is
// made by swapping {h, d}, which is off the chain, and one PUNPCKLQDQ on it. {Ch, Maj}
// takes a masked OR and AND beside the ternary op: two masked ternary-logic ops would
// be one op fewer but one step longer on the chain.
#include "digest/x86/sha512_xmm.h"

namespace telvarn::sha_internal {
namespace {

constexpr __mmask8 kLowLane = 0x1;
constexpr __mmask8 kHighLane = 0x2;

struct Avx512Rounds {
  // Rotation counts of {Sigma1(e), Sigma0(a)}.
  const __m128i rotate_first = _mm_set_epi64x(28, 14);
  const __m128i rotate_second = _mm_set_epi64x(34, 18);
  const __m128i rotate_third = _mm_set_epi64x(39, 41);

  __m128i Round(__m128i ea, __m128i fb, __m128i gc, __m128i hd, const uint64_t* round_input) const {
    __m128i sigmas = _mm_ternarylogic_epi64(_mm_rorv_epi64(ea, rotate_first),
                                            _mm_rorv_epi64(ea, rotate_second),
                                            _mm_rorv_epi64(ea, rotate_third), 0x96);
    __m128i f_bc_or = _mm_mask_or_epi64(fb, kHighLane, fb, gc);
    __m128i g_bc_and = _mm_mask_and_epi64(gc, kHighLane, fb, gc);
    __m128i ch_maj = _mm_ternarylogic_epi64(ea, f_bc_or, g_bc_and, 0xCA);
    // W[t] + K[t] by an 8-byte load. The schedule stores W + K in 16-byte pairs shortly
    // before the rounds read them, and a 16-byte load at an odd t would straddle two
    // such stores: it cannot take its bytes from the store buffer and waits for them
    // to be written, far longer than a forwarded load.
    __m128i h_plus_input =
        _mm_maskz_add_epi64(kLowLane, hd, _mm_set1_epi64x(static_cast<long long>(*round_input)));
    __m128i t1_t2 = _mm_add_epi64(sigmas, _mm_add_epi64(ch_maj, h_plus_input));
    // {T1, T2} + {d, T1}: d from {h, d} swapped, T1 from the low lane of {T1, T2}.
    return _mm_add_epi64(t1_t2, _mm_unpacklo_epi64(_mm_shuffle_epi32(hd, 0x4E), t1_t2));
  }

  static __m128i ByteSwapWords(__m128i x) {
    return _mm_shuffle_epi8(x, _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  }

  static __m128i SmallSigma0(__m128i x) {
    return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 1), _mm_ror_epi64(x, 8), _mm_srli_epi64(x, 7), 0x96);
  }

  static __m128i SmallSigma1(__m128i x) {
    return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 19), _mm_ror_epi64(x, 61), _mm_srli_epi64(x, 6), 0x96);
  }
};

}  // namespace

void Sha512CompressAvx512(uint64_t state[8], const uint8_t* data, size_t blocks) {
  CompressSha512Xmm<Avx512Rounds>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
