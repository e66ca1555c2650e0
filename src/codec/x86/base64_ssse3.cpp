// Base64 with SSSE3: 12 bytes to 16 characters and back per step, table lookups by pshufb.
#include <tmmintrin.h>

#include "codec/x86/base64_simd.h"

namespace telvarn {
namespace base64_internal {
namespace {

__m128i Row(const ShuffleRow& row) { return _mm_load_si128(reinterpret_cast<const __m128i*>(row.bytes)); }

// Each group's bytes spread by `order` (kSpreadOrder), then its four 6-bit indices
// moved into bytes of their own.
__m128i SpreadGroups(__m128i bytes, __m128i order) {
  const __m128i in = _mm_shuffle_epi8(bytes, order);
  // Indices 0 and 2 to the low bits of the halves by a high multiply, 1 and 3 to
  // bits 8 and up by a low multiply.
  const __m128i first = _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)),
                                        _mm_set1_epi32(0x04000040));
  const __m128i second = _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)),
                                         _mm_set1_epi32(0x01000010));
  return _mm_or_si128(first, second);
}

// Indices 0 to 63 to the alphabet: one offset per range (A-Z, a-z, 0-9, '+', '/'),
// picked by a small class number.
__m128i ToAscii(__m128i indices) {
  __m128i range = _mm_subs_epu8(indices, _mm_set1_epi8(51));
  const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
  range = _mm_or_si128(range, _mm_and_si128(upper, _mm_set1_epi8(13)));
  return _mm_add_epi8(indices, _mm_shuffle_epi8(Row(kCharOffsets), range));
}

// Groups of the 12 bytes at source + kSkip (0 or 4), from a 16-byte load at source.
template <int kSkip>
__m128i Encode12Of16(const uint8_t* source) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  return ToAscii(SpreadGroups(bytes, Row(kSpreadOrder<kSkip>)));
}

void Store16(char* out, __m128i chars) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chars); }

// Character values: alphabet 0 to 63, anything else 255.
__m128i Values(__m128i chars) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi32(chars, 4), nibble);
  const __m128i low = _mm_and_si128(chars, nibble);
  const __m128i clash = _mm_and_si128(_mm_shuffle_epi8(Row(kLowNibbleClasses), low),
                                      _mm_shuffle_epi8(Row(kHighNibbleClasses), high));
  const __m128i invalid = _mm_cmpgt_epi8(clash, _mm_setzero_si128());
  const __m128i slash = _mm_cmpeq_epi8(chars, _mm_set1_epi8('/'));
  const __m128i values = _mm_add_epi8(chars, _mm_shuffle_epi8(Row(kValueOffsets), _mm_add_epi8(high, slash)));
  return _mm_or_si128(values, invalid);
}

// acc = v0 * 2^18 + v1 * 2^12 + v2 * 2^6 + v3 per group, exact for values up to
// 255 (at most 16575 per pair, about 2^26 per group), then its three low bytes,
// high first, packed into the low 12 bytes.
__m128i GroupBytes(__m128i values) {
  const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
  const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
  return _mm_shuffle_epi8(groups, Row(kGroupBytesOrder));
}

struct Ssse3Step {
  static constexpr size_t kEncodeBytes = 12;
  static constexpr size_t kEncodeReads = 16;
  static constexpr size_t kWidth = 16;

  static void EncodeBlock(char* out, const uint8_t* source) {
    Store16(out, Encode12Of16<0>(source));
  }

  // 54 bytes in five steps: four take [0, 48), the fifth reads the 16 bytes that
  // end with the line's last byte, and its first two groups repeat characters
  // already written.
  static void EncodeLine(char* out, const uint8_t* source) {
    Store16(out, Encode12Of16<0>(source));
    Store16(out + 16, Encode12Of16<0>(source + 12));
    Store16(out + 32, Encode12Of16<0>(source + 24));
    Store16(out + 48, Encode12Of16<4>(source + 32));
    Store16(out + 56, Encode12Of16<4>(source + 38));
  }

  static uint64_t BreaksIn(__m128i chars) {
    const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(chars, _mm_set1_epi8('\r')),
                                        _mm_cmpeq_epi8(chars, _mm_set1_epi8('\n')));
    return static_cast<uint32_t>(_mm_movemask_epi8(breaks));
  }

  static uint64_t Breaks(const char* from) {
    return BreaksIn(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
  }

  static uint64_t CopyBlock(uint8_t* to, const char* from) {
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), chars);
    return BreaksIn(chars);
  }

  using Decoded = __m128i;

  static Decoded DecodeBlock(const uint8_t* chars) {
    return GroupBytes(Values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chars))));
  }

  // 12 bytes: a 16-byte store would reach past them.
  static void StoreDecoded(uint8_t* out, Decoded bytes) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    const uint32_t last4 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(out + 8, &last4, 4);
  }
};

}  // namespace

void EncodeSsse3(char* text, const uint8_t* source, size_t count, bool lines) {
  EncodeWith<Ssse3Step>(text, source, count, lines);
}

size_t DecodeSsse3(uint8_t* out, const char* text, size_t length, uint32_t drop) {
  return DecodeWith<Ssse3Step>(out, text, length, drop);
}

}  // namespace base64_internal
}  // namespace telvarn
