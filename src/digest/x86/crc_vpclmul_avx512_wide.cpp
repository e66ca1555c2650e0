// CRC-32, CRC-32C, CRC-16 and CRC-64 folded by eight ZMM accumulators on long inputs, for x86-64 (built with AVX-512 F/VL and VPCLMULQDQ only).
//
// The fold consumes a cache line in about four cycles of its one multiplier port,
// close to the rate one core reads memory. Here the hardware prefetcher alone
// feeds it: on AMD Zen 4 this form keeps pace with a bare read of an input out of
// the cache, where asking for lines ahead in software slowed it to about 0.8 of
// the read (bench/README.md, "Figures behind decisions in the code"). The
// processors whose prefetcher falls behind take the _prefetch form.
#include "digest/crc_private.h"
#include "digest/x86/crc_fold_zmm.h"

namespace telvarn::crc_internal {

uint32_t Crc32UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateEightZmm<kCrc32Folding, 0>(crc, data, count);
}

uint32_t Crc32cUpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateEightZmm<kCrc32cFolding, 0>(crc, data, count);
}

uint32_t Crc16UpdateVpclmulAvx512Wide(uint32_t crc, const uint8_t* data, size_t count) {
  return UpdateEightZmm<kCrc16Folding, 0>(crc, data, count);
}

uint64_t Crc64UpdateVpclmulAvx512Wide(uint64_t crc, const uint8_t* data, size_t count) {
  return UpdateEightZmm<kCrc64Folding, 0>(crc, data, count);
}

}  // namespace telvarn::crc_internal
