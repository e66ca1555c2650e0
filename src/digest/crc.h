// CRC-32 (IEEE 802.3, as gzip and PNG use it) and CRC-16/MCRF4XX, byte-table driven.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn {

// Reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final XOR 0xFFFFFFFF.
class Crc32 {
 public:
  void Update(const uint8_t* bytes, size_t count);
  uint32_t value() const { return crc_ ^ 0xFFFFFFFFu; }

 private:
  uint32_t crc_ = 0xFFFFFFFFu;
};

// Reflected polynomial 0x8408 (0x1021 bit-reversed), initial value 0xFFFF, no final XOR.
class Crc16Mcrf4xx {
 public:
  void Update(const uint8_t* bytes, size_t count);
  uint16_t value() const { return crc_; }

 private:
  uint16_t crc_ = 0xFFFF;
};

}  // namespace telvarn
