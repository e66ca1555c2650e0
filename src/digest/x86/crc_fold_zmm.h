// The 512-bit folding steps shared by the CRC variant files built with AVX-512 and VPCLMULQDQ.
//
// Everything here has internal linkage on purpose, as in crc_fold_xmm.h: each
// including file compiles it with its own instruction-set flags.
#pragma once

#include "digest/x86/crc_fold_xmm.h"

namespace telvarn::crc_internal {
namespace {

inline __m512i LoadZmm(const uint8_t* bytes) { return _mm512_loadu_si512(bytes); }

// GCC 12 warns that the undefined pass-through operand inside its broadcast, cast
// and plain extract intrinsics may be used uninitialised: keys are built with set,
// lanes taken with the zero-masking extract under a full mask.

template <int lane>
inline __m128i Lane128(__m512i v) {
  return _mm512_maskz_extracti32x4_epi32(0xFF, v, lane);
}

inline __m512i KeysZmm(FoldKeys k) {
  return _mm512_set_epi64(Lane(k.low), Lane(k.high), Lane(k.low), Lane(k.high), Lane(k.low), Lane(k.high),
                          Lane(k.low), Lane(k.high));
}

// Lane i moved forward by the distance its keys give, XORed with `next`.
inline __m512i FoldZmm(__m512i blocks, __m512i keys, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(blocks, keys, 0x00),
                                   _mm512_clmulepi64_epi128(blocks, keys, 0x11), next, 0x96);
}

// Folds the whole 64-byte pieces left in `data` into `z` one at a time, its four
// lanes into one block, and lets the 128-bit steps finish.
//
// Always inlined. Out of line, with several callers, it is entered by a tail jump
// with `z` in ZMM0, and GCC ends such a function without VZEROUPPER on a path
// where it only reads the wide register: the upper halves stay in use after the
// return, and every legacy-SSE instruction after it (the SHA-NI rounds among
// them) runs slower until something clears them.
template <const auto& crc>
__attribute__((always_inline)) inline RegisterOf<crc> FinishZmm(__m512i z, const uint8_t* data, size_t count) {
  constexpr FoldKeys kBy64 = crc.Keys(64), kBy48 = crc.Keys(48), kBy32 = crc.Keys(32), kBy16 = crc.Keys(16);
  const __m512i by64 = KeysZmm(kBy64);
  for (; count >= 64; data += 64, count -= 64) z = FoldZmm(z, by64, LoadZmm(data));

  // Lanes 0 to 2 move to lane 3's place (zero keys empty lane 3), lane 3 is added as
  // it is, and the four lanes are summed.
  const __m512i lane_keys = _mm512_set_epi64(0, 0, Lane(kBy16.low), Lane(kBy16.high), Lane(kBy32.low),
                                             Lane(kBy32.high), Lane(kBy48.low), Lane(kBy48.high));
  const __m512i lanes = FoldZmm(z, lane_keys, _mm512_maskz_mov_epi64(0xC0, z));
  const __m128i block = _mm_ternarylogic_epi64(_mm_xor_si128(Lane128<0>(lanes), Lane128<1>(lanes)),
                                               Lane128<2>(lanes), Lane128<3>(lanes), 0x96);
  return FinishXmm<crc>(block, data, count);
}

// Four ZMM accumulators take 256 bytes per round: eight independent multiply
// instructions per round keep the one multiplier port busy through its latency. The
// accumulators then fold into one register, and FinishZmm goes on. With
// kPrefetchDistance > 0, each round asks for the lines that far ahead.
template <const auto& crc, size_t kPrefetchDistance>
RegisterOf<crc> UpdateFourZmm(RegisterOf<crc> reg, const uint8_t* data, size_t count) {
  if (count < 64) return crc.table_update(reg, data, count);
  constexpr FoldKeys kBy256 = crc.Keys(256), kBy192 = crc.Keys(192), kBy128 = crc.Keys(128),
                     kBy64 = crc.Keys(64);
  const __m512i first = _mm512_zextsi128_si512(RegisterXmm<crc>(reg));
  __m512i z;
  if (count >= 256) {
    __m512i z0 = _mm512_xor_si512(LoadZmm(data), first);
    __m512i z1 = LoadZmm(data + 64);
    __m512i z2 = LoadZmm(data + 128);
    __m512i z3 = LoadZmm(data + 192);
    data += 256;
    count -= 256;
    const __m512i by256 = KeysZmm(kBy256);
    for (; count >= 256; data += 256, count -= 256) {
      if constexpr (kPrefetchDistance > 0) {
        for (size_t line = 0; line < 256; line += 64) {
          _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + line), _MM_HINT_T0);
        }
      }
      z0 = FoldZmm(z0, by256, LoadZmm(data));
      z1 = FoldZmm(z1, by256, LoadZmm(data + 64));
      z2 = FoldZmm(z2, by256, LoadZmm(data + 128));
      z3 = FoldZmm(z3, by256, LoadZmm(data + 192));
    }
    const __m512i zero = _mm512_setzero_si512();
    z = _mm512_ternarylogic_epi64(FoldZmm(z0, KeysZmm(kBy192), z3), FoldZmm(z1, KeysZmm(kBy128), zero),
                                  FoldZmm(z2, KeysZmm(kBy64), zero), 0x96);
  } else {
    z = _mm512_xor_si512(LoadZmm(data), first);
    data += 64;
    count -= 64;
  }
  return FinishZmm<crc>(z, data, count);
}

// From this length on, eight accumulators take 512 bytes per round: sixteen
// independent multiplies, no busier a multiplier than the four accumulators' eight,
// but twice the loads in flight. Folding eight accumulators into one at the end
// costs four more folds than four do, which shorter inputs do not earn back. Eight
// accumulators, their keys and their loads need the thirty-two ZMM registers of
// 64-bit mode; in 32-bit mode's eight they would spill.
inline constexpr size_t kEightZmmFrom = 16384;

template <const auto& crc, size_t kPrefetchDistance>
RegisterOf<crc> UpdateEightZmm(RegisterOf<crc> reg, const uint8_t* data, size_t count) {
  if (count < kEightZmmFrom) return UpdateFourZmm<crc, kPrefetchDistance>(reg, data, count);
  constexpr FoldKeys kBy512 = crc.Keys(512), kBy448 = crc.Keys(448), kBy384 = crc.Keys(384),
                     kBy320 = crc.Keys(320), kBy256 = crc.Keys(256), kBy192 = crc.Keys(192),
                     kBy128 = crc.Keys(128), kBy64 = crc.Keys(64);
  const __m512i first = _mm512_zextsi128_si512(RegisterXmm<crc>(reg));
  __m512i z[8];
  z[0] = _mm512_xor_si512(LoadZmm(data), first);
  for (int i = 1; i < 8; ++i) z[i] = LoadZmm(data + 64 * i);
  data += 512;
  count -= 512;
  const __m512i by512 = KeysZmm(kBy512);
  for (; count >= 512; data += 512, count -= 512) {
    if constexpr (kPrefetchDistance > 0) {
      for (int i = 0; i < 8; ++i) {
        _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + 64 * i), _MM_HINT_T0);
      }
    }
    for (int i = 0; i < 8; ++i) z[i] = FoldZmm(z[i], by512, LoadZmm(data + 64 * i));
  }
  // Each accumulator moves straight to the last one's place, in parallel.
  const __m512i zero = _mm512_setzero_si512();
  const __m512i first_three = _mm512_ternarylogic_epi64(
      FoldZmm(z[0], KeysZmm(kBy448), z[7]), FoldZmm(z[1], KeysZmm(kBy384), zero), FoldZmm(z[2], KeysZmm(kBy320), zero),
      0x96);
  const __m512i next_two =
      _mm512_xor_si512(FoldZmm(z[3], KeysZmm(kBy256), zero), FoldZmm(z[4], KeysZmm(kBy192), zero));
  const __m512i last_two =
      _mm512_xor_si512(FoldZmm(z[5], KeysZmm(kBy128), zero), FoldZmm(z[6], KeysZmm(kBy64), zero));
  return FinishZmm<crc>(_mm512_ternarylogic_epi64(first_three, next_two, last_two, 0x96), data, count);
}

}  // namespace
}  // namespace telvarn::crc_internal
