// The SHA-512 message schedule that the XMM variants share, and the block loop of the pair variants around the round each supplies.
//
// Included only by the variant files. Each instantiates the templates with types
// from its own anonymous namespace, so every instantiation has internal linkage:
// the linker cannot fold an AVX-512-compiled copy into the AVX2 or SSE2 file, as it
// may with an ordinary inline function.
//
// The eight working words live in four registers as pairs {e, a}, {f, b}, {g, c},
// {h, d} (low lane first). A round type provides:
//   Round(ea, fb, gc, hd, round_input): the new {e, a} = {d + T1, T1 + T2}, with
//     W[t] + K[t] in round_input[0];
//     the caller renames {e, a} -> {f, b} -> {g, c} -> {h, d};
//   SmallSigma0(x), SmallSigma1(x), ByteSwapWords(x): what Sha512Schedule needs.
// The message schedule runs two words per register, sixteen rounds ahead of the
// rounds that use it, in the same loop, to fill the issue slots the rounds'
// dependency chain leaves free.
#pragma once

#include <immintrin.h>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {

// One block's message words W[0..79] and round inputs W[t] + K[t], made two words
// to a register. Ops supplies, on both lanes of a register, SmallSigma0(x),
// SmallSigma1(x) and ByteSwapWords(x) (the bytes of each word reversed: the message
// is big-endian).
template <class Ops>
class Sha512Schedule {
 public:
  // W[0..15] from the block.
  void Start(const uint8_t* data) {
    for (int t = 0; t < 16; t += 2) {
      Put(t, Ops::ByteSwapWords(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 8 * t))));
    }
  }

  // W[t], W[t + 1] for even t from 16 to 78.
  void Pair(int t) {
    const __m128i words_16 = Load(w_ + t - 16);
    const __m128i words_15 = Straddle(words_16, Load(w_ + t - 14));
    const __m128i words_7 = Straddle(Load(w_ + t - 8), Load(w_ + t - 6));
    Put(t, _mm_add_epi64(_mm_add_epi64(words_16, Ops::SmallSigma0(words_15)),
                         _mm_add_epi64(words_7, Ops::SmallSigma1(Load(w_ + t - 2)))));
  }

  // W[t] + K[t] onwards.
  const uint64_t* round_input(int t) const { return round_input_ + t; }

 private:
  static __m128i Load(const uint64_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
  // The high word of `low` and the low word of `high`: two stored pairs read across
  // their boundary. A 16-byte load there would straddle two 16-byte stores, which the
  // store buffer cannot forward while they are in flight (such a load waits far
  // longer than a forwarded one), and the schedule runs far enough ahead of the
  // rounds that they are.
  static __m128i Straddle(__m128i low, __m128i high) {
    return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(low), _mm_castsi128_pd(high), 1));
  }
  void Put(int t, __m128i words) {
    _mm_store_si128(reinterpret_cast<__m128i*>(w_ + t), words);
    _mm_store_si128(reinterpret_cast<__m128i*>(round_input_ + t),
                    _mm_add_epi64(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha512RoundConstants + t))));
  }

  alignas(16) uint64_t w_[80];
  alignas(16) uint64_t round_input_[80];
};

template <class Rounds>
void CompressSha512Xmm(uint64_t state[8], const uint8_t* data, size_t blocks) {
  const Rounds rounds;
  Sha512Schedule<Rounds> schedule;
  const __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i cd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 2));
  const __m128i ef = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i gh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 6));
  __m128i ea = _mm_unpacklo_epi64(ef, ab), fb = _mm_unpackhi_epi64(ef, ab);
  __m128i gc = _mm_unpacklo_epi64(gh, cd), hd = _mm_unpackhi_epi64(gh, cd);
  for (; blocks > 0; --blocks, data += 128) {
    schedule.Start(data);
    const __m128i ea0 = ea, fb0 = fb, gc0 = gc, hd0 = hd;
    // Four rounds bring the names back to where they started.
    for (int t = 0; t < 80; t += 4) {
      if (t < 64) {
        schedule.Pair(t + 16);
        schedule.Pair(t + 18);
      }
      hd = rounds.Round(ea, fb, gc, hd, schedule.round_input(t));
      gc = rounds.Round(hd, ea, fb, gc, schedule.round_input(t + 1));
      fb = rounds.Round(gc, hd, ea, fb, schedule.round_input(t + 2));
      ea = rounds.Round(fb, gc, hd, ea, schedule.round_input(t + 3));
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
