// BLAKE3's many-input kernel for AVX2: eight inputs at a time, one per 32-bit lane of a YMM register.
//
// The byte shuffle rotates by 16 and 8 within each 128-bit lane; 12 and 7 take
// two shifts and an OR. The lanes and the message loads are blake3_lanes.h's
// YmmLanes.
#include "digest/x86/blake3_lanes.h"

namespace telvarn::blake3_internal {
namespace {

struct ShuffleAndShiftRotate {
  template <int kCount>
  static __m256i Right(__m256i x) {
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
};

}  // namespace

void HashManyAvx2(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                  bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  HashManyLanes<YmmLanes<ShuffleAndShiftRotate>>(inputs, count, blocks, key, counter, increment_counter, flags,
                                                 flags_start, flags_end, out);
}

}  // namespace telvarn::blake3_internal
