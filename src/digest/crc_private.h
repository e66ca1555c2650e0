// Shared by the CRC variants: the reflected polynomials and every variant's update function.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::crc_internal {

// Reflected polynomials: CRC-32 (IEEE 802.3) and CRC-16/MCRF4XX (0x1021 bit-reversed).
inline constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
inline constexpr uint32_t kCrc16Polynomial = 0x8408u;

// One table lookup per byte.
uint32_t Crc32UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count);
// Eight bytes per step through eight tables; the same results.
uint32_t Crc32UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count);
// Folding with carry-less multiplication, 16 bytes per multiplier pair (PCLMULQDQ,
// SSE4.1), 32 (VPCLMULQDQ on YMM, AVX2) or 64 (VPCLMULQDQ on ZMM, AVX-512); short
// inputs go to slicing-by-8.
uint32_t Crc32UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count);
#if defined(__x86_64__)
// The same instructions, prefetching ahead, and with eight ZMM accumulators on long inputs.
uint32_t Crc32UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count);
#endif

}  // namespace telvarn::crc_internal
