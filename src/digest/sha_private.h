// Shared by the SHA block-function variants: constants, big-endian loads and rotations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/rotate.h"

namespace telvarn::sha_internal {

// 16-byte aligned, so that SIMD forms can add four at a time straight from memory.
alignas(16) extern const uint32_t kSha256RoundConstants[64];
extern const uint64_t kSha512RoundConstants[80];

inline uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

inline uint64_t LoadBe64(const uint8_t* p) {
  return uint64_t{LoadBe32(p)} << 32 | LoadBe32(p + 4);
}

void Sha1CompressPortable(uint32_t state[5], const uint8_t* data, size_t blocks);
void Sha256CompressPortable(uint32_t state[8], const uint8_t* data, size_t blocks);
void Sha512CompressPortable(uint64_t state[8], const uint8_t* data, size_t blocks);
#if defined(__i386__) || defined(__x86_64__)
void Sha512CompressMmx(uint64_t state[8], const uint8_t* data, size_t blocks);
void Sha512CompressSse2(uint64_t state[8], const uint8_t* data, size_t blocks);
void Sha512CompressAvx2(uint64_t state[8], const uint8_t* data, size_t blocks);
void Sha512CompressAvx512(uint64_t state[8], const uint8_t* data, size_t blocks);
void Sha1CompressShaNi(uint32_t state[5], const uint8_t* data, size_t blocks);
void Sha256CompressShaNi(uint32_t state[8], const uint8_t* data, size_t blocks);
#endif
#if defined(__x86_64__)
void Sha512CompressBmi2Avx2(uint64_t state[8], const uint8_t* data, size_t blocks);
void Sha512CompressBmi2Avx512(uint64_t state[8], const uint8_t* data, size_t blocks);
#endif

}  // namespace telvarn::sha_internal
