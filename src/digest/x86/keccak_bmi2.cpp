// Keccak-f[1600] absorbing in general registers with BMI1/BMI2: ANDN for chi, RORX for the rotations.
//
// The portable form's code compiled for these instructions: each rotation becomes
// one RORX into a fresh register and each chi step one ANDN and one XOR, which
// leaves fewer copies between the 25 lanes and the temporaries. The file is also
// built with -funroll-loops, which unrolls the rounds here and gains a few percent;
// the portable form is slower unrolled (bench/README.md has both figures).
#include "digest/keccak_private.h"
#include "digest/keccak_rounds.h"

namespace telvarn::keccak_internal {

void KeccakAbsorbBmi2(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes) {
  AbsorbBlocks<WordLanes>(state, blocks, block_count, rate_bytes);
}

}  // namespace telvarn::keccak_internal
