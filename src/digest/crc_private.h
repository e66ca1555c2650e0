// Shared by the CRC variants: the reflected polynomials and every variant's update function.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::crc_internal {

// Reflected polynomials: CRC-32 (IEEE 802.3), CRC-32C (Castagnoli, 0x1EDC6F41
// bit-reversed), CRC-16/MCRF4XX (0x1021 bit-reversed) and CRC-64/XZ (ECMA-182,
// 0x42F0E1EBA9EA3693 bit-reversed).
inline constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
inline constexpr uint32_t kCrc32cPolynomial = 0x82F63B78u;
inline constexpr uint32_t kCrc16Polynomial = 0x8408u;
inline constexpr uint64_t kCrc64Polynomial = 0xC96C5795D7870F42u;

// One table lookup per byte.
uint32_t Crc32UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateBytewise(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateBytewise(uint64_t crc, const uint8_t* data, size_t count);
// Eight bytes per step through eight tables; the same results.
uint32_t Crc32UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateSlicing8(uint64_t crc, const uint8_t* data, size_t count);
// CRC-32C with the SSE4.2 CRC32 instruction: three streams at once over long
// inputs, joined by carry-less multiplication (PCLMULQDQ).
uint32_t Crc32cUpdateSse42(uint32_t crc, const uint8_t* data, size_t count);
// Folding with carry-less multiplication, 16 bytes per multiplier pair (PCLMULQDQ,
// SSE4.1; not for CRC-32C, where the CRC32 instruction is faster), 32 (VPCLMULQDQ on
// YMM, AVX2) or 64 (VPCLMULQDQ on ZMM, AVX-512); short inputs go to slicing-by-8.
uint32_t Crc32UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdatePclmul(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdatePclmul(uint64_t crc, const uint8_t* data, size_t count);
uint32_t Crc32UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx2(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateVpclmulAvx2(uint64_t crc, const uint8_t* data, size_t count);
uint32_t Crc32UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateVpclmulAvx512(uint64_t crc, const uint8_t* data, size_t count);
#if defined(__x86_64__)
// The same instructions with eight ZMM accumulators on long inputs, and that form
// asking for the lines ahead.
uint32_t Crc32UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateVpclmulAvx512Wide(uint64_t crc, const uint8_t* data, size_t count);
uint32_t Crc32UpdateVpclmulAvx512WidePrefetch(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc32cUpdateVpclmulAvx512WidePrefetch(uint32_t crc, const uint8_t* data, size_t count);
uint32_t Crc16UpdateVpclmulAvx512WidePrefetch(uint32_t crc, const uint8_t* data, size_t count);
uint64_t Crc64UpdateVpclmulAvx512WidePrefetch(uint64_t crc, const uint8_t* data, size_t count);
#endif

}  // namespace telvarn::crc_internal
