// The table-driven CRC updates: tables generated at compile time from the reflected polynomials.
#include <array>

#include "digest/crc_private.h"

namespace telvarn::crc_internal {
namespace {

template <class Register>
constexpr std::array<Register, 256> ReflectedTable(Register polynomial) {
  std::array<Register, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    Register entry = i;
    for (int bit = 0; bit < 8; ++bit) entry = (entry & 1) ? (entry >> 1) ^ polynomial : entry >> 1;
    table[i] = entry;
  }
  return table;
}

// Slicing by 8: table k gives the CRC of a byte followed by k zero bytes, so eight
// bytes fold in with eight independent lookups. A CRC-16 register sits in the low
// half and its tables have zero high halves, so the same step serves both widths;
// a 64-bit register spans all eight bytes.
template <class Register>
using Slices = std::array<std::array<Register, 256>, 8>;

template <class Register>
constexpr Slices<Register> MakeSlices(Register polynomial) {
  Slices<Register> slices{};
  slices[0] = ReflectedTable(polynomial);
  for (size_t k = 1; k < 8; ++k) {
    for (size_t i = 0; i < 256; ++i) {
      Register prev = slices[k - 1][i];
      slices[k][i] = (prev >> 8) ^ slices[0][prev & 0xFF];
    }
  }
  return slices;
}

constexpr Slices<uint32_t> kCrc32Slices = MakeSlices(kCrc32Polynomial);
constexpr Slices<uint32_t> kCrc32cSlices = MakeSlices(kCrc32cPolynomial);
constexpr Slices<uint32_t> kCrc16Slices = MakeSlices(kCrc16Polynomial);
constexpr Slices<uint64_t> kCrc64Slices = MakeSlices(kCrc64Polynomial);

static_assert(kCrc32Slices[0][1] == 0x77073096u && kCrc32Slices[0][255] == 0x2D02EF8Du);
static_assert(kCrc32cSlices[0][1] == 0xF26B8303u && kCrc32cSlices[0][255] == 0xAD7D5351u);
static_assert(kCrc16Slices[0][1] == 0x1189 && kCrc16Slices[0][255] == 0x0F78);
static_assert(kCrc64Slices[0][1] == 0xB32E4CBE03A75F6Fu);

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

template <class Register>
Register Bytewise(const Slices<Register>& t, Register crc, const uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF];
  return crc;
}

// The register is XORed into the eight bytes in two 32-bit halves, which the
// 32-bit build handles without 64-bit shifts; a 32-bit register's high half is zero.
template <class Register>
Register Slicing8(const Slices<Register>& t, Register crc, const uint8_t* data, size_t count) {
  for (; count >= 8; data += 8, count -= 8) {
    uint32_t low = LoadLe32(data) ^ static_cast<uint32_t>(crc);
    uint32_t high = LoadLe32(data + 4) ^ static_cast<uint32_t>(uint64_t{crc} >> 32);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  return Bytewise(t, crc, data, count);
}

}  // namespace

uint32_t Crc32UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count) {
  return Bytewise(kCrc32Slices, crc, data, count);
}

uint32_t Crc32cUpdateBytewise(uint32_t crc, const uint8_t* data, size_t count) {
  return Bytewise(kCrc32cSlices, crc, data, count);
}

uint64_t Crc64UpdateBytewise(uint64_t crc, const uint8_t* data, size_t count) {
  return Bytewise(kCrc64Slices, crc, data, count);
}

uint32_t Crc16UpdateBytewise(uint32_t crc, const uint8_t* data, size_t count) {
  return Bytewise(kCrc16Slices, crc & 0xFFFF, data, count);
}

uint32_t Crc32UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count) {
  return Slicing8(kCrc32Slices, crc, data, count);
}

uint32_t Crc32cUpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count) {
  return Slicing8(kCrc32cSlices, crc, data, count);
}

uint64_t Crc64UpdateSlicing8(uint64_t crc, const uint8_t* data, size_t count) {
  return Slicing8(kCrc64Slices, crc, data, count);
}

uint32_t Crc16UpdateSlicing8(uint32_t crc, const uint8_t* data, size_t count) {
  return Slicing8(kCrc16Slices, crc & 0xFFFF, data, count);
}

}  // namespace telvarn::crc_internal
