// CRC-32, CRC-32C, CRC-16 and CRC-64 folded by ZMM accumulators that prefetch, eight of them on long inputs, for x86-64 (built with AVX-512 F/VL and VPCLMULQDQ only).
//
// The fold consumes a cache line in about four cycles of its one multiplier port,
// close to the rate one core reads memory, and on an input out of the cache the
// hardware prefetcher alone starts too few lines ahead of it. Every round here asks
// for the lines 4 KiB (64 lines) ahead; a prefetch past the end of the input is
// harmless, it never faults. The lines asked for before a call returns serve the
// next call too: the jobs pass 1024 or 4096 bytes at a time.
//
// From 16 KiB on, eight accumulators take 512 bytes per round: sixteen independent
// multiplies, no busier a multiplier than the four accumulators' eight, but twice
// the loads in flight. Folding eight accumulators into one at the end costs four
// more folds than four do, which shorter inputs do not earn back. Eight
// accumulators, their keys and their loads need the thirty-two ZMM registers of
// 64-bit mode; in 32-bit mode's eight they would spill.
#include "digest/crc_private.h"
#include "digest/x86/crc_fold_zmm.h"

namespace telvarn::crc_internal {
namespace {

constexpr size_t kPrefetchDistance = 4096;
constexpr size_t kEightAccumulatorsFrom = 16384;

template <const auto& crc>
RegisterOf<crc> UpdateVpclmulAvx512Wide(RegisterOf<crc> reg, const uint8_t* data, size_t count) {
  if (count < kEightAccumulatorsFrom) return UpdateFourZmm<crc, kPrefetchDistance>(reg, data, count);
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
    for (int i = 0; i < 8; ++i) {
      _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + 64 * i), _MM_HINT_T0);
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

uint32_t Crc32UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx512Wide<kCrc32Folding>(crc, data, count);
}

uint32_t Crc32cUpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx512Wide<kCrc32cFolding>(crc, data, count);
}

uint32_t Crc16UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx512Wide<kCrc16Folding>(crc, data, count);
}

uint64_t Crc64UpdateVpclmulAvx512Wide(uint64_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx512Wide<kCrc64Folding>(crc, data, count);
}

}  // namespace telvarn::crc_internal
