// SHA-512 compression in 64-bit MMX registers, for processors without SSE2 (built with -mmmx only).
//
// MMX has 64-bit logic and shifts but no 64-bit addition: every sum is made of the
// two 32-bit lane sums plus the low lane's carry moved into the high lane. The carry
// of a + b in each lane is bit 31 of (a AND b) + ((a XOR b) >> 1), which is
// (a + b) / 2 computed without overflowing.
#include "digest/x86/sha512_m64.h"

namespace telvarn::sha_internal {
namespace {

struct MmxAdder {
  static __m64 Add(__m64 a, __m64 b) {
    __m64 lanes = _mm_add_pi32(a, b);
    __m64 half = _mm_add_pi32(_mm_and_si64(a, b), _mm_srli_pi32(_mm_xor_si64(a, b), 1));
    __m64 carries = _mm_srli_pi32(half, 31);
    return _mm_add_pi32(lanes, _mm_slli_si64(carries, 32));
  }
};

}  // namespace

void Sha512CompressMmx(uint64_t state[8], const uint8_t* data, size_t blocks) {
  CompressSha512M64<MmxAdder>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
