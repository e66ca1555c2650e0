// CRC-32C with the SSE4.2 CRC32 instruction over three streams at once (built with -msse4.2 -mpclmul only).
//
// The instruction takes eight bytes (four in 32-bit mode) with a latency of three
// cycles and can start one every cycle: a single chain waits on itself, three
// independent chains keep it busy. A piece of 3L bytes is read as three streams of
// L bytes, the second and third from a zero register; the registers of the first
// two are then moved forward over the bytes after them (multiplied by x^(8L) or
// x^(16L) mod P) and the three added, which is what one chain would have left.
//
// The stream lengths fall from long to short: three streams of 1360 and of 336
// bytes cover all but 16 bytes of the 4096- and 1024-byte pieces the jobs pass, and
// the longest keeps the cost of joining small on long inputs. What is left after
// the shortest goes through one chain.
#include <immintrin.h>

#include <cstring>

#include "digest/crc_private.h"
#include "digest/x86/crc_fold.h"

namespace telvarn::crc_internal {
namespace {

// Eight bytes into the register.
inline uint32_t Step8(uint32_t crc, const uint8_t* bytes) {
#if defined(__x86_64__)
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return static_cast<uint32_t>(_mm_crc32_u64(crc, word));
#else
  uint32_t low, high;
  std::memcpy(&low, bytes, sizeof low);
  std::memcpy(&high, bytes + 4, sizeof high);
  return _mm_crc32_u32(_mm_crc32_u32(crc, low), high);
#endif
}

// The register moved forward over `kDistance` zero bytes: R*x^(8*kDistance) mod P.
// The carry-less product of two 32-bit reflected operands, read as a 64-bit
// reflected word, is R*K*x, and the CRC32 instruction on that word from a zero
// register multiplies it by x^32 and reduces it: K is x^(8*kDistance - 33) mod P.
template <size_t kDistance>
inline uint32_t Shift(uint32_t crc) {
  constexpr uint64_t kMultiplier = ReflectedPowerMod(kCrc32cPolynomial, 32, kDistance * 8 - 33);
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi32_si128(static_cast<int>(crc)),
                                               _mm_cvtsi32_si128(static_cast<int>(kMultiplier)), 0x00);
  const uint32_t low = static_cast<uint32_t>(_mm_cvtsi128_si32(product));
  const uint32_t high = static_cast<uint32_t>(_mm_extract_epi32(product, 1));
#if defined(__x86_64__)
  return static_cast<uint32_t>(_mm_crc32_u64(0, uint64_t{high} << 32 | low));
#else
  return _mm_crc32_u32(_mm_crc32_u32(0, low), high);
#endif
}

// Consumes pieces of three streams of kStream bytes while the input holds one.
template <size_t kStream>
inline void ThreeStreams(uint32_t& crc, const uint8_t*& data, size_t& count) {
  static_assert(kStream % 8 == 0);
  for (; count >= 3 * kStream; data += 3 * kStream, count -= 3 * kStream) {
    uint32_t first = crc, second = 0, third = 0;
    for (size_t i = 0; i < kStream; i += 8) {
      first = Step8(first, data + i);
      second = Step8(second, data + kStream + i);
      third = Step8(third, data + 2 * kStream + i);
    }
    crc = Shift<2 * kStream>(first) ^ Shift<kStream>(second) ^ third;
  }
}

}  // namespace

uint32_t Crc32cUpdateSse42(uint32_t crc, const uint8_t* data, size_t count) {
  ThreeStreams<8192>(crc, data, count);
  ThreeStreams<1360>(crc, data, count);
  ThreeStreams<336>(crc, data, count);
  ThreeStreams<64>(crc, data, count);
  for (; count >= 8; data += 8, count -= 8) crc = Step8(crc, data);
  for (; count > 0; ++data, --count) crc = _mm_crc32_u8(crc, *data);
  return crc;
}

}  // namespace telvarn::crc_internal
