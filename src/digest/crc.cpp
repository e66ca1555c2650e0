// CRC tables generated at compile time from the reflected polynomials, and their updates.
#include "digest/crc.h"

#include <array>

namespace telvarn {
namespace {

template <class Word>
constexpr std::array<Word, 256> ReflectedTable(Word polynomial) {
  std::array<Word, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    Word entry = static_cast<Word>(i);
    for (int bit = 0; bit < 8; ++bit) {
      entry = static_cast<Word>((entry & 1) ? (entry >> 1) ^ polynomial : entry >> 1);
    }
    table[i] = entry;
  }
  return table;
}

constexpr auto kCrc32Table = ReflectedTable<uint32_t>(0xEDB88320u);
constexpr auto kCrc16Table = ReflectedTable<uint16_t>(0x8408);

// Slicing by 8: table k gives the CRC of a byte followed by k zero bytes, so eight
// bytes fold in with eight independent lookups. Same results as the byte table.
constexpr std::array<std::array<uint32_t, 256>, 8> Crc32Slices() {
  std::array<std::array<uint32_t, 256>, 8> slices{};
  slices[0] = kCrc32Table;
  for (size_t k = 1; k < 8; ++k) {
    for (size_t i = 0; i < 256; ++i) {
      uint32_t prev = slices[k - 1][i];
      slices[k][i] = (prev >> 8) ^ kCrc32Table[prev & 0xFF];
    }
  }
  return slices;
}

constexpr auto kCrc32Slices = Crc32Slices();

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

static_assert(kCrc32Table[1] == 0x77073096u && kCrc32Table[255] == 0x2D02EF8Du);
static_assert(kCrc16Table[1] == 0x1189 && kCrc16Table[255] == 0x0F78);

}  // namespace

void Crc32::Update(const uint8_t* bytes, size_t count) {
  uint32_t crc = crc_;
  const auto& t = kCrc32Slices;
  for (; count >= 8; bytes += 8, count -= 8) {
    uint32_t low = LoadLe32(bytes) ^ crc;
    uint32_t high = LoadLe32(bytes + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ kCrc32Table[(crc ^ bytes[i]) & 0xFF];
  crc_ = crc;
}

void Crc16Mcrf4xx::Update(const uint8_t* bytes, size_t count) {
  uint16_t crc = crc_;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc >> 8) ^ kCrc16Table[(crc ^ bytes[i]) & 0xFF]);
  }
  crc_ = crc;
}

}  // namespace telvarn
