// The 128-bit folding steps shared by the CRC variant files built with PCLMULQDQ.
//
// Everything here has internal linkage on purpose: each including file compiles it
// with its own instruction-set flags, and one out-of-line copy shared by the linker
// could carry AVX-512 encodings into the variant meant for older processors.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "digest/crc_fold.h"

namespace telvarn::crc_internal {
namespace {

inline __m128i LoadBlock(const uint8_t* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// The multipliers side by side, in the lanes they multiply.
inline __m128i KeysXmm(FoldKeys keys) {
  return _mm_set_epi64x(static_cast<long long>(keys.low), static_cast<long long>(keys.high));
}

// The register XORed into the first bytes of the first block.
inline __m128i RegisterXmm(uint32_t crc, unsigned width) {
  const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (uint32_t{1} << width) - 1;
  return _mm_cvtsi32_si128(static_cast<int>(crc & mask));
}

// `block` moved forward to where `next` sits, and `next` added.
inline __m128i FoldXmm(__m128i block, __m128i keys, __m128i next) {
  const __m128i high = _mm_clmulepi64_si128(block, keys, 0x00);
  const __m128i low = _mm_clmulepi64_si128(block, keys, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// Folds the whole blocks left in `data` into `block` one at a time, then hands the
// block and the last bytes to the table update. The block is congruent to all data
// before its end, so the table continues from a zero register.
template <const FoldedCrc& crc>
uint32_t FinishXmm(__m128i block, const uint8_t* data, size_t count) {
  constexpr FoldKeys kBy16 = crc.Keys(16);
  const __m128i by16 = KeysXmm(kBy16);
  for (; count >= 16; data += 16, count -= 16) block = FoldXmm(block, by16, LoadBlock(data));
  alignas(16) uint8_t last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), block);
  return crc.table_update(crc.table_update(0, last, sizeof last), data, count);
}

}  // namespace
}  // namespace telvarn::crc_internal
