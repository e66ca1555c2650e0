// The 128-bit folding steps shared by the CRC variant files built with PCLMULQDQ.
//
// Everything here has internal linkage on purpose: each including file compiles it
// with its own instruction-set flags, and one out-of-line copy shared by the linker
// could carry AVX-512 encodings into the variant meant for older processors.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "digest/x86/crc_fold.h"

namespace telvarn::crc_internal {
namespace {

inline __m128i LoadBlock(const uint8_t* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// A 64-bit multiplier as the signed lane type the set intrinsics take.
inline long long Lane(uint64_t key) { return static_cast<long long>(key); }

// The multipliers side by side, in the lanes they multiply.
inline __m128i KeysXmm(FoldKeys keys) { return _mm_set_epi64x(Lane(keys.low), Lane(keys.high)); }

// The register XORed into the first bytes of the first block.
template <const auto& crc>
inline __m128i RegisterXmm(RegisterOf<crc> reg) {
  if constexpr (crc.width == 64) {
    return _mm_set_epi64x(0, Lane(reg));
  } else {
    const uint32_t mask = crc.width == 32 ? 0xFFFFFFFFu : (uint32_t{1} << crc.width) - 1;
    return _mm_cvtsi32_si128(static_cast<int>(reg & mask));
  }
}

// `block` moved forward to where `next` sits, and `next` added.
inline __m128i FoldXmm(__m128i block, __m128i keys, __m128i next) {
  const __m128i high = _mm_clmulepi64_si128(block, keys, 0x00);
  const __m128i low = _mm_clmulepi64_si128(block, keys, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The register for all data up to the end of `block`: the reduction described in
// crc_fold.h, each lane of each product where the next step wants it.
template <const auto& crc>
RegisterOf<crc> ReduceXmm(__m128i block) {
  constexpr ReduceKeys kKeys = crc.Reduction();
  const __m128i high_and_quotient = _mm_set_epi64x(Lane(kKeys.quotient), Lane(kKeys.high));
  const __m128i polynomial = _mm_set_epi64x(0, Lane(kKeys.polynomial));
  // Low lane A1, high lane A0.
  const __m128i a =
      _mm_xor_si128(_mm_clmulepi64_si128(block, high_and_quotient, 0x00), _mm_srli_si128(block, 8));
  // Low lane q; the carry-less product comes one place short, hence the shift.
  const __m128i q = _mm_xor_si128(a, _mm_slli_epi64(_mm_clmulepi64_si128(a, high_and_quotient, 0x10), 1));
  __m128i remainder = _mm_xor_si128(_mm_clmulepi64_si128(q, polynomial, 0x00), a);
  if constexpr (crc.width == 64) {
    // High lane A0 + q*P mod x^64: the product with (P - 1) / x, plus q.
    remainder = _mm_xor_si128(remainder, _mm_slli_si128(q, 8));
    return uint64_t{static_cast<uint32_t>(_mm_extract_epi32(remainder, 2))} |
           uint64_t{static_cast<uint32_t>(_mm_extract_epi32(remainder, 3))} << 32;
  } else {
    return static_cast<uint32_t>(_mm_extract_epi32(remainder, 2));
  }
}

// Folds the whole blocks left in `data` into `block` one at a time, reduces it, and
// lets the table update take the last bytes. The block is congruent to all data
// before its end, so its remainder is the register there.
template <const auto& crc>
RegisterOf<crc> FinishXmm(__m128i block, const uint8_t* data, size_t count) {
  constexpr FoldKeys kBy16 = crc.Keys(16);
  const __m128i by16 = KeysXmm(kBy16);
  for (; count >= 16; data += 16, count -= 16) block = FoldXmm(block, by16, LoadBlock(data));
  const RegisterOf<crc> reg = ReduceXmm<crc>(block);
  return count == 0 ? reg : crc.table_update(reg, data, count);
}

}  // namespace
}  // namespace telvarn::crc_internal
