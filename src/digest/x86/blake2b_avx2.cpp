// BLAKE2b compression with AVX2 on four rows of 64-bit lanes (built with -mavx2 only): rotations by byte moves.
#include "digest/x86/blake2b_ymm.h"

namespace telvarn::blake2_internal {
namespace {

// AVX2 has no 64-bit rotate: 32, 24 and 16 are byte moves (VPSHUFD, VPSHUFB), 63
// a shift and an add.
struct ByteMoveRotate {
  __m256i by24 = _mm256_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10, 3, 4, 5, 6, 7, 0, 1, 2, 11,
                                  12, 13, 14, 15, 8, 9, 10);
  __m256i by16 = _mm256_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9, 2, 3, 4, 5, 6, 7, 0, 1, 10,
                                  11, 12, 13, 14, 15, 8, 9);
  __m256i By32(__m256i x) const { return _mm256_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)); }
  __m256i By24(__m256i x) const { return _mm256_shuffle_epi8(x, by24); }
  __m256i By16(__m256i x) const { return _mm256_shuffle_epi8(x, by16); }
  __m256i By63(__m256i x) const { return _mm256_or_si256(_mm256_srli_epi64(x, 63), _mm256_add_epi64(x, x)); }
};

}  // namespace

void Blake2bCompressAvx2(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count, bool last) {
  Blake2bCompressRows(h, t, blocks, block_count, last, ByteMoveRotate{});
}

}  // namespace telvarn::blake2_internal
