// BLAKE3's many-input kernel for SSE4.1: four inputs at a time, one per 32-bit lane of an XMM register.
//
// SSSE3's byte shuffle rotates by 16 and 8; 12 and 7 take two shifts and an OR.
// In 32-bit mode eight XMM registers hold a fraction of the sixteen state and
// sixteen message words, so most live on the stack.
#include "digest/x86/blake3_lanes.h"

namespace telvarn::blake3_internal {
namespace {

struct Unpack128 {
  __m128i lo32(__m128i a, __m128i b) const { return _mm_unpacklo_epi32(a, b); }
  __m128i hi32(__m128i a, __m128i b) const { return _mm_unpackhi_epi32(a, b); }
  __m128i lo64(__m128i a, __m128i b) const { return _mm_unpacklo_epi64(a, b); }
  __m128i hi64(__m128i a, __m128i b) const { return _mm_unpackhi_epi64(a, b); }
};

struct XmmLanes {
  using Reg = __m128i;
  static constexpr size_t kLanes = 4;
  static Reg Add(Reg a, Reg b) { return _mm_add_epi32(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
  static Reg Set1(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
  static Reg LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void StoreU(void* p, Reg x) { _mm_storeu_si128(static_cast<__m128i*>(p), x); }
  template <int kCount>
  static Reg RotateRight(Reg x) {
    if constexpr (kCount == 16) {
      return _mm_shuffle_epi8(x, _mm_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3, 2));
    } else if constexpr (kCount == 8) {
      return _mm_shuffle_epi8(x, _mm_set_epi8(12, 15, 14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3, 2, 1));
    } else {
      return _mm_or_si128(_mm_srli_epi32(x, kCount), _mm_slli_epi32(x, 32 - kCount));
    }
  }
  static void LoadMessage(Reg m[16], const uint8_t* const lanes[4], size_t offset) {
    for (size_t q = 0; q < 4; ++q) {
      const Reg t[4] = {LoadU(lanes[0] + offset + 16 * q), LoadU(lanes[1] + offset + 16 * q),
                        LoadU(lanes[2] + offset + 16 * q), LoadU(lanes[3] + offset + 16 * q)};
      Transpose4<XmmLanes>(m + 4 * q, t, Unpack128{});
    }
  }
};

}  // namespace

void HashManySse41(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                   bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  HashManyLanes<XmmLanes>(inputs, count, blocks, key, counter, increment_counter, flags, flags_start, flags_end, out);
}

}  // namespace telvarn::blake3_internal
