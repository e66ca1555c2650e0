// CRC-32, CRC-32C, CRC-16 and CRC-64 folded two blocks per YMM register (built with AVX2 and VPCLMULQDQ only).
//
// For processors with VPCLMULQDQ but no AVX-512: four YMM accumulators take 128
// bytes per round, eight independent multiply instructions covering the
// multiplier's latency. The accumulators then fold into one register, its two
// lanes into one block, and the 128-bit steps finish.
#include "digest/crc_private.h"
#include "digest/x86/crc_fold_xmm.h"

namespace telvarn::crc_internal {
namespace {

inline __m256i LoadYmm(const uint8_t* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

inline __m256i KeysYmm(FoldKeys k) {
  return _mm256_set_epi64x(Lane(k.low), Lane(k.high), Lane(k.low), Lane(k.high));
}

// Each lane moved forward by the distance its keys give, XORed with `next`.
inline __m256i FoldYmm(__m256i blocks, __m256i keys, __m256i next) {
  const __m256i high = _mm256_clmulepi64_epi128(blocks, keys, 0x00);
  const __m256i low = _mm256_clmulepi64_epi128(blocks, keys, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(high, low), next);
}

template <const auto& crc>
RegisterOf<crc> UpdateVpclmulAvx2(RegisterOf<crc> reg, const uint8_t* data, size_t count) {
  if (count < 64) return crc.table_update(reg, data, count);
  constexpr FoldKeys kBy128 = crc.Keys(128), kBy96 = crc.Keys(96), kBy64 = crc.Keys(64), kBy32 = crc.Keys(32),
                     kBy16 = crc.Keys(16);
  const __m256i first = _mm256_zextsi128_si256(RegisterXmm<crc>(reg));
  __m256i y;
  if (count >= 128) {
    __m256i y0 = _mm256_xor_si256(LoadYmm(data), first);
    __m256i y1 = LoadYmm(data + 32);
    __m256i y2 = LoadYmm(data + 64);
    __m256i y3 = LoadYmm(data + 96);
    data += 128;
    count -= 128;
    const __m256i by128 = KeysYmm(kBy128);
    for (; count >= 128; data += 128, count -= 128) {
      y0 = FoldYmm(y0, by128, LoadYmm(data));
      y1 = FoldYmm(y1, by128, LoadYmm(data + 32));
      y2 = FoldYmm(y2, by128, LoadYmm(data + 64));
      y3 = FoldYmm(y3, by128, LoadYmm(data + 96));
    }
    const __m256i zero = _mm256_setzero_si256();
    y = _mm256_xor_si256(_mm256_xor_si256(FoldYmm(y0, KeysYmm(kBy96), y3), FoldYmm(y1, KeysYmm(kBy64), zero)),
                         FoldYmm(y2, KeysYmm(kBy32), zero));
  } else {
    y = _mm256_xor_si256(LoadYmm(data), first);
    data += 32;
    count -= 32;
  }
  const __m256i by32 = KeysYmm(kBy32);
  for (; count >= 32; data += 32, count -= 32) y = FoldYmm(y, by32, LoadYmm(data));

  const __m128i block = FoldXmm(_mm256_castsi256_si128(y), KeysXmm(kBy16), _mm256_extracti128_si256(y, 1));
  return FinishXmm<crc>(block, data, count);
}

}  // namespace

uint32_t Crc32UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx2<kCrc32Folding>(crc, data, count);
}

uint32_t Crc32cUpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx2<kCrc32cFolding>(crc, data, count);
}

uint32_t Crc16UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx2<kCrc16Folding>(crc, data, count);
}

uint64_t Crc64UpdateVpclmulAvx2(uint64_t crc, const uint8_t* data, size_t count) {
  return UpdateVpclmulAvx2<kCrc64Folding>(crc, data, count);
}

}  // namespace telvarn::crc_internal
