// The SHA-512 block loop that the XMM-pair variants share, around the round each instruction set supplies.
//
// Included only by the variant files. Each instantiates CompressSha512Xmm with a
// round type from its own anonymous namespace, so every instantiation has internal
// linkage: the linker cannot fold an AVX-512-compiled copy into the AVX2 file, as
// it may with an ordinary inline function.
//
// The eight working words live in four registers as pairs {e, a}, {f, b}, {g, c},
// {h, d} (low lane first). A round type provides:
//   Round(ea, fb, gc, hd, round_input): the new {e, a} = {d + T1, T1 + T2}, with
//     W[t] + K[t] in round_input[0];
//     the caller renames {e, a} -> {f, b} -> {g, c} -> {h, d};
//   SmallSigma0(x), SmallSigma1(x): the message schedule's sigma functions on
//     both lanes.
// The message schedule runs two words per register, sixteen rounds ahead of the
// rounds that use it, in the same loop, to fill the issue slots the rounds'
// dependency chain leaves free.
#pragma once

#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {

template <class Rounds>
void CompressSha512Xmm(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const Rounds rounds;
  const auto load = [](const uint64_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); };
  const auto load_unaligned = [](const uint64_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const auto store = [](uint64_t* p, __m128i x) { _mm_store_si128(reinterpret_cast<__m128i*>(p), x); };
  alignas(16) uint64_t w[80];
  alignas(16) uint64_t round_input[80];
  // The high word of `low` and the low word of `high`: two stored pairs read across
  // their boundary. A 16-byte load there would straddle two 16-byte stores, which the
  // store buffer cannot forward while they are in flight (on Zen 4 such a load waits
  // about 20 cycles where a forwarded one takes 9), and the schedule runs far enough
  // ahead of the rounds that they are.
  const auto straddle = [](__m128i low, __m128i high) {
    return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(low), _mm_castsi128_pd(high), 1));
  };
  // W[t], W[t + 1] for even t >= 16, and the round inputs W + K beside them.
  const auto schedule_pair = [&](int t) {
    const __m128i words_16 = load(w + t - 16);
    const __m128i words_15 = straddle(words_16, load(w + t - 14));
    const __m128i words_7 = straddle(load(w + t - 8), load(w + t - 6));
    const __m128i words =
        _mm_add_epi64(_mm_add_epi64(words_16, Rounds::SmallSigma0(words_15)),
                      _mm_add_epi64(words_7, Rounds::SmallSigma1(load(w + t - 2))));
    store(w + t, words);
    store(round_input + t, _mm_add_epi64(words, load_unaligned(kSha512RoundConstants + t)));
  };

  // Reverses the bytes of each 64-bit word: the message is big-endian.
  const __m128i byte_swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
  const __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i cd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 2));
  const __m128i ef = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i gh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 6));
  __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
  __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
  for (; blocks > 0; --blocks, data += 128) {
    for (int t = 0; t < 16; t += 2) {
      const __m128i words =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 8 * t)), byte_swap);
      store(w + t, words);
      store(round_input + t, _mm_add_epi64(words, load_unaligned(kSha512RoundConstants + t)));
    }
    const __m128i ea0 = ea, fb0 = fb, gc0 = gc, hd0 = hd;
    // Four rounds bring the names back to where they started.
    for (int t = 0; t < 80; t += 4) {
      if (t < 64) {
        schedule_pair(t + 16);
        schedule_pair(t + 18);
      }
      hd = rounds.Round(ea, fb, gc, hd, round_input + t);
      gc = rounds.Round(hd, ea, fb, gc, round_input + t + 1);
      fb = rounds.Round(gc, hd, ea, fb, round_input + t + 2);
      ea = rounds.Round(fb, gc, hd, ea, round_input + t + 3);
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
