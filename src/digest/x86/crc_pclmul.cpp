// CRC-32, CRC-16 and CRC-64 by folding 16-byte blocks with PCLMULQDQ (built with -msse4.1 -mpclmul only).
//
// Four accumulators take every fourth block, so four independent multiplications
// cover the multiplier's latency; at the end they fold into one block. Inputs
// shorter than the four blocks go to the table update.
#include "digest/crc_private.h"
#include "digest/x86/crc_fold_xmm.h"

namespace telvarn::crc_internal {
namespace {

template <const auto& crc>
RegisterOf<crc> UpdatePclmul(RegisterOf<crc> reg, const uint8_t* data, size_t count) {
  if (count < 64) return crc.table_update(reg, data, count);
  constexpr FoldKeys kBy64 = crc.Keys(64), kBy48 = crc.Keys(48), kBy32 = crc.Keys(32), kBy16 = crc.Keys(16);
  __m128i x0 = _mm_xor_si128(LoadBlock(data), RegisterXmm<crc>(reg));
  __m128i x1 = LoadBlock(data + 16);
  __m128i x2 = LoadBlock(data + 32);
  __m128i x3 = LoadBlock(data + 48);
  data += 64;
  count -= 64;
  const __m128i by64 = KeysXmm(kBy64);
  for (; count >= 64; data += 64, count -= 64) {
    x0 = FoldXmm(x0, by64, LoadBlock(data));
    x1 = FoldXmm(x1, by64, LoadBlock(data + 16));
    x2 = FoldXmm(x2, by64, LoadBlock(data + 32));
    x3 = FoldXmm(x3, by64, LoadBlock(data + 48));
  }
  // Each accumulator moves straight to the last one's place, in parallel.
  const __m128i zero = _mm_setzero_si128();
  const __m128i folded =
      _mm_xor_si128(_mm_xor_si128(FoldXmm(x0, KeysXmm(kBy48), x3), FoldXmm(x1, KeysXmm(kBy32), zero)),
                    FoldXmm(x2, KeysXmm(kBy16), zero));
  return FinishXmm<crc>(folded, data, count);
}

}  // namespace

uint32_t Crc32UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdatePclmul<kCrc32Folding>(crc, data, count);
}

uint32_t Crc16UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdatePclmul<kCrc16Folding>(crc, data, count);
}

uint64_t Crc64UpdatePclmul(uint64_t crc, const uint8_t* data, size_t count) {
  return UpdatePclmul<kCrc64Folding>(crc, data, count);
}

}  // namespace telvarn::crc_internal
