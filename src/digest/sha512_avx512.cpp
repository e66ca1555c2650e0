// SHA-512 compression with AVX-512VL on XMM registers (built with -mavx512f -mavx512vl -mavx512bw only).
//
// The eight working words live in four registers as pairs {e, a}, {f, b}, {g, c},
// {h, d} (low lane first), so the whole state fits beside its temporaries in the
// eight XMM registers of 32-bit mode. One round then does both halves at once:
// VPRORVQ rotates each lane by its own count, giving {Sigma1(e), Sigma0(a)} from
// three rotations and one three-way XOR; and since Maj(a, b, c) = a ? (b | c) : (b & c)
// is a choice like Ch(e, f, g) = e ? f : g, one VPTERNLOGQ on {e, a}, {f, b | c} and
// {g, b & c} gives {Ch, Maj}. The sums give {T1, T2}, and adding {d, T1} (one PALIGNR)
// gives the new pair {d + T1, T1 + T2}, so the other three registers only change names.
// The message schedule, two words per register, runs sixteen rounds ahead of the
// rounds that use it, in the same loop, to fill the issue slots the rounds'
// dependency chain leaves free.
//
// A round is bound both by its dependency chain (rotate, XOR, two adds, PALIGNR,
// add) and by the vector ports. Two masked ternary-logic ops for {Ch, Maj} instead
// of the OR/AND pair are one op fewer but one step longer, and measured slower.
#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

constexpr __mmask8 kLowLane = 0x1;
constexpr __mmask8 kHighLane = 0x2;

struct RoundContext {
  __m128i rotate_first;   // {14, 28}: Sigma1's and Sigma0's first rotation counts
  __m128i rotate_second;  // {18, 34}
  __m128i rotate_third;   // {41, 39}
};

// Returns the new {e, a}; the caller renames {e, a} -> {f, b} -> {g, c} -> {h, d}.
// `round_input` holds W[t] + K[t] in its first word; the word after it is masked off.
inline __m128i Round(const RoundContext& rc, __m128i ea, __m128i fb, __m128i gc, __m128i hd,
                     const uint64_t* round_input) {
  __m128i sigmas = _mm_ternarylogic_epi64(_mm_rorv_epi64(ea, rc.rotate_first),
                                          _mm_rorv_epi64(ea, rc.rotate_second),
                                          _mm_rorv_epi64(ea, rc.rotate_third), 0x96);
  __m128i f_bc_or = _mm_mask_or_epi64(fb, kHighLane, fb, gc);
  __m128i g_bc_and = _mm_mask_and_epi64(gc, kHighLane, fb, gc);
  __m128i ch_maj = _mm_ternarylogic_epi64(ea, f_bc_or, g_bc_and, 0xCA);
  __m128i h_plus_input = _mm_maskz_add_epi64(
      kLowLane, hd, _mm_loadu_si128(reinterpret_cast<const __m128i*>(round_input)));
  __m128i t1_t2 = _mm_add_epi64(sigmas, _mm_add_epi64(ch_maj, h_plus_input));
  // {T1, T2} + {d, T1}: PALIGNR takes d from the high lane of {h, d} and T1 from the low lane of {T1, T2}.
  return _mm_add_epi64(t1_t2, _mm_alignr_epi8(t1_t2, hd, 8));
}

inline __m128i SmallSigma0(__m128i x) {
  return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 1), _mm_ror_epi64(x, 8), _mm_srli_epi64(x, 7), 0x96);
}

inline __m128i SmallSigma1(__m128i x) {
  return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 19), _mm_ror_epi64(x, 61), _mm_srli_epi64(x, 6), 0x96);
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

void Sha512CompressAvx512(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const RoundContext rc{_mm_set_epi64x(28, 14), _mm_set_epi64x(34, 18), _mm_set_epi64x(39, 41)};
  // Reverses the bytes of each 64-bit word: the message is big-endian.
  const __m128i byte_swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
  __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i cd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 2));
  __m128i ef = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  __m128i gh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 6));
  __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
  __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
  alignas(16) uint64_t w[80];
  // One word more than the rounds use: the last round's 16-byte load reaches it.
  alignas(16) uint64_t round_input[81];
  round_input[80] = 0;
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
