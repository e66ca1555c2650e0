// SHA-512 compression for x86-64: rounds in general registers with RORX, two blocks' message schedule in YMM registers (built with -mbmi2 -mavx2 only).
//
// The rounds, the block loop and the schedule of two blocks at once (one in each
// 128-bit lane) are in sha512_gpr.h; this file gives the schedule's small sigmas.
// AVX2 has no 64-bit rotate, so each is built from shifts; rotating by 8 moves
// whole bytes and is one VPSHUFB.
#include "digest/x86/sha512_gpr.h"

namespace telvarn::sha_internal {
namespace {

struct Avx2TwoBlocks : YmmPairWords {
  static Vector SmallSigma0(Vector x) {
    const __m256i rotate_bytes = _mm256_set_epi64x(0x080F0E0D0C0B0A09, 0x0007060504030201, 0x080F0E0D0C0B0A09,
                                                   0x0007060504030201);
    const __m256i rotr1 = _mm256_or_si256(_mm256_srli_epi64(x, 1), _mm256_slli_epi64(x, 63));
    return _mm256_xor_si256(_mm256_xor_si256(rotr1, _mm256_shuffle_epi8(x, rotate_bytes)),
                            _mm256_srli_epi64(x, 7));
  }
  static Vector SmallSigma1(Vector x) {
    const __m256i right = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(x, 19), _mm256_srli_epi64(x, 61)),
                                           _mm256_srli_epi64(x, 6));
    return _mm256_xor_si256(right, _mm256_xor_si256(_mm256_slli_epi64(x, 45), _mm256_slli_epi64(x, 3)));
  }
};

}  // namespace

// Flattened: the words stay in registers only once every helper is inlined, and
// the compiler would keep the larger ones out of line.
__attribute__((flatten)) void Sha512CompressBmi2Avx2(uint64_t state[8], const uint8_t* data, size_t blocks) {
  CompressSha512Gpr<Avx2TwoBlocks>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
