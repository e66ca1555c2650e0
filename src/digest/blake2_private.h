// Shared by the BLAKE2 compression variants: RFC 7693's constants and the portable forms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::blake2_internal {

// The initial chain values of RFC 7693, section 2.6: SHA-512's and SHA-256's.
inline constexpr uint64_t kBlake2bIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                           0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                           0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
inline constexpr uint32_t kBlake2sIv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// The message schedule of section 2.7; BLAKE2b's rounds 10 and 11 reuse rows 0 and 1.
inline constexpr uint8_t kBlake2Sigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
};

void Blake2bCompressPortable(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count, bool last);
#if defined(__i386__)
void Blake2bCompressAvx2(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count, bool last);
#endif
void Blake2sCompressPortable(uint32_t h[8], uint32_t t[2], const uint8_t* blocks, size_t block_count, bool last);

}  // namespace telvarn::blake2_internal
