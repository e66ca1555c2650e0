// CRC-32, CRC-32C, CRC-16 and CRC-64 folded four blocks per ZMM register (built with AVX-512 F/VL and VPCLMULQDQ only).
//
// Four ZMM accumulators take 256 bytes per round (UpdateFourZmm in crc_fold_zmm.h),
// then fold into one register, its four lanes into one block, and the 128-bit
// steps finish.
#include "digest/crc_private.h"
#include "digest/x86/crc_fold_zmm.h"

namespace telvarn::crc_internal {

uint32_t Crc32UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateFourZmm<kCrc32Folding, 0>(crc, data, count);
}

uint32_t Crc32cUpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateFourZmm<kCrc32cFolding, 0>(crc, data, count);
}

uint32_t Crc16UpdateVpclmulAvx512(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateFourZmm<kCrc16Folding, 0>(crc, data, count);
}

uint64_t Crc64UpdateVpclmulAvx512(uint64_t crc, const uint8_t* data, size_t count) {
  return UpdateFourZmm<kCrc64Folding, 0>(crc, data, count);
}

}  // namespace telvarn::crc_internal
