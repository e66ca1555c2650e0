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

static_assert(kCrc32Table[1] == 0x77073096u && kCrc32Table[255] == 0x2D02EF8Du);
static_assert(kCrc16Table[1] == 0x1189 && kCrc16Table[255] == 0x0F78);

}  // namespace

void Crc32::Update(const uint8_t* bytes, size_t count) {
  uint32_t crc = crc_;
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
