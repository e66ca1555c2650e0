// Shared by the Keccak-f[1600] absorb variants: their declarations.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::keccak_internal {

void KeccakAbsorbPortable(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes);
#if defined(__i386__)
void KeccakAbsorbSse2(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes);
#endif
#if defined(__x86_64__)
void KeccakAbsorbBmi2(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes);
void KeccakAbsorbAvx512(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes);
#endif

}  // namespace telvarn::keccak_internal
