// Keccak-f[1600] absorbing in plain C++: 64-bit lanes in locals (on the 32-bit target, pairs of registers).
#include "digest/keccak_private.h"
#include "digest/keccak_rounds.h"

namespace telvarn::keccak_internal {

const uint64_t kKeccakRoundConstants[24] = {
    0x0000000000000001, 0x0000000000008082, 0x800000000000808A, 0x8000000080008000,
    0x000000000000808B, 0x0000000080000001, 0x8000000080008081, 0x8000000000008009,
    0x000000000000008A, 0x0000000000000088, 0x0000000080008009, 0x000000008000000A,
    0x000000008000808B, 0x800000000000008B, 0x8000000000008089, 0x8000000000008003,
    0x8000000000008002, 0x8000000000000080, 0x000000000000800A, 0x800000008000000A,
    0x8000000080008081, 0x8000000000008080, 0x0000000080000001, 0x8000000080008008};

void KeccakAbsorbPortable(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes) {
  AbsorbBlocks<WordLanes>(state, blocks, block_count, rate_bytes);
}

}  // namespace telvarn::keccak_internal
