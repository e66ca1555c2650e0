// SHA-512 compression for x86-64: rounds in general registers with RORX, two blocks' message schedule in YMM registers with AVX-512VL (built with -mbmi2 -mavx512f -mavx512vl only).
//
// The rounds and the block loop are in sha512_gpr.h. The schedule is the AVX2
// form's, two blocks at once, one in each 128-bit lane, but VPRORQ rotates and
// VPTERNLOGQ XORs three values, so a small sigma is four instructions where AVX2
// takes seven or nine. The schedule's instructions share the front end with the
// first block's rounds, so fewer of them is what makes this form faster.
//
// Four blocks to a ZMM register would halve the schedule's share again, but its
// loads would take four blocks' words at a time, and on a long input the first
// rounds of each group would wait for them (bench/README.md).
#include "digest/x86/sha512_gpr.h"

namespace telvarn::sha_internal {
namespace {

constexpr int kXorOfThree = 0x96;

struct Avx512TwoBlocks : YmmPairWords {
  static Vector SmallSigma0(Vector x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 1), _mm256_ror_epi64(x, 8), _mm256_srli_epi64(x, 7),
                                     kXorOfThree);
  }
  static Vector SmallSigma1(Vector x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 19), _mm256_ror_epi64(x, 61), _mm256_srli_epi64(x, 6),
                                     kXorOfThree);
  }
};

}  // namespace

// Flattened: the words stay in registers only once every helper is inlined, and
// the compiler would keep the larger ones out of line.
__attribute__((flatten)) void Sha512CompressBmi2Avx512(uint64_t state[8], const uint8_t* data, size_t blocks) {
  CompressSha512Gpr<Avx512TwoBlocks>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
