// BLAKE3's many-input kernel for AVX2: eight inputs at a time, one per 32-bit lane of a YMM register.
//
// The byte shuffle rotates by 16 and 8 within each 128-bit lane; 12 and 7 take
// two shifts and an OR. Each message register is built from two 16-byte loads,
// inputs i and i+4, so that the unpacks, which work within 128-bit lanes, leave
// the inputs in order.
#include "digest/x86/blake3_lanes.h"

namespace telvarn::blake3_internal {
namespace {

struct Unpack256 {
  __m256i lo32(__m256i a, __m256i b) const { return _mm256_unpacklo_epi32(a, b); }
  __m256i hi32(__m256i a, __m256i b) const { return _mm256_unpackhi_epi32(a, b); }
  __m256i lo64(__m256i a, __m256i b) const { return _mm256_unpacklo_epi64(a, b); }
  __m256i hi64(__m256i a, __m256i b) const { return _mm256_unpackhi_epi64(a, b); }
};

struct YmmLanes {
  using Reg = __m256i;
  static constexpr size_t kLanes = 8;
  static Reg Add(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  static Reg Set1(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
  static Reg LoadU(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void StoreU(void* p, Reg x) { _mm256_storeu_si256(static_cast<__m256i*>(p), x); }
  template <int kCount>
  static Reg RotateRight(Reg x) {
    if constexpr (kCount == 16) {
      return _mm256_shuffle_epi8(x, _mm256_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3, 2, 13, 12,
                                                    15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3, 2));
    } else if constexpr (kCount == 8) {
      return _mm256_shuffle_epi8(x, _mm256_set_epi8(12, 15, 14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3, 2, 1, 12, 15,
                                                    14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3, 2, 1));
    } else {
      return _mm256_or_si256(_mm256_srli_epi32(x, kCount), _mm256_slli_epi32(x, 32 - kCount));
    }
  }
  static Reg Pair(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
  }
  static void LoadMessage(Reg m[16], const uint8_t* const lanes[8], size_t offset) {
    for (size_t q = 0; q < 4; ++q) {
      const size_t at = offset + 16 * q;
      const Reg t[4] = {Pair(lanes[0] + at, lanes[4] + at), Pair(lanes[1] + at, lanes[5] + at),
                        Pair(lanes[2] + at, lanes[6] + at), Pair(lanes[3] + at, lanes[7] + at)};
      Transpose4<YmmLanes>(m + 4 * q, t, Unpack256{});
    }
  }
};

}  // namespace

void HashManyAvx2(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                  bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  HashManyLanes<YmmLanes>(inputs, count, blocks, key, counter, increment_counter, flags, flags_start, flags_end, out);
}

}  // namespace telvarn::blake3_internal
