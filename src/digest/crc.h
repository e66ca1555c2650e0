// CRC-32 (IEEE 802.3, as gzip and PNG use it), CRC-32C, CRC-16/MCRF4XX and CRC-64/XZ over data fed in pieces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

// A 32-bit CRC with initial value and final XOR 0xFFFFFFFF, updated by the rows of
// `kKernels`: the processor's best variant unless one is given.
template <const auto& kKernels>
class Crc32Of {
 public:
  Crc32Of() : update_(Active<kKernels>().kernel) {}
  explicit Crc32Of(const CrcVariant& variant) : update_(variant.kernel) {}
  void Update(const uint8_t* bytes, size_t count) { crc_ = update_(crc_, bytes, count); }
  uint32_t value() const { return crc_ ^ 0xFFFFFFFFu; }

 private:
  CrcUpdateFn update_;
  uint32_t crc_ = 0xFFFFFFFFu;
};

// Reflected polynomial 0xEDB88320 (IEEE 802.3, as gzip and PNG use it).
using Crc32 = Crc32Of<kCrc32Kernels>;
// Reflected polynomial 0x82F63B78 (Castagnoli, as iSCSI and ext4 use it).
using Crc32c = Crc32Of<kCrc32cKernels>;

// Reflected polynomial 0x8408 (0x1021 bit-reversed), initial value 0xFFFF, no final XOR.
class Crc16Mcrf4xx {
 public:
  Crc16Mcrf4xx() : update_(Active<kCrc16Kernels>().kernel) {}
  explicit Crc16Mcrf4xx(const CrcVariant& variant) : update_(variant.kernel) {}
  void Update(const uint8_t* bytes, size_t count) { crc_ = update_(crc_, bytes, count) & 0xFFFFu; }
  uint16_t value() const { return static_cast<uint16_t>(crc_); }

 private:
  CrcUpdateFn update_;
  uint32_t crc_ = 0xFFFFu;
};

// CRC-64/XZ (the ECMA-182 polynomial, as xz uses it): reflected polynomial
// 0xC96C5795D7870F42, initial value and final XOR all ones.
class Crc64Xz {
 public:
  Crc64Xz() : update_(Active<kCrc64Kernels>().kernel) {}
  explicit Crc64Xz(const Crc64Variant& variant) : update_(variant.kernel) {}
  void Update(const uint8_t* bytes, size_t count) { crc_ = update_(crc_, bytes, count); }
  uint64_t value() const { return crc_ ^ ~uint64_t{0}; }

 private:
  Crc64UpdateFn update_;
  uint64_t crc_ = ~uint64_t{0};
};

}  // namespace telvarn
