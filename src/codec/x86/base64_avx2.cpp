// Base64 with AVX2: 24 bytes to 32 characters and back per step, the SSSE3 method on both lanes.
#include <immintrin.h>

#include "codec/x86/base64_simd.h"

namespace telvarn {
namespace base64_internal {
namespace {

// A row in both 128-bit lanes.
__m256i Lanes(const ShuffleRow& row) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(row.bytes)));
}

// Each group's bytes spread by `order` (kSpreadOrder); then indices 0 and 2 to the
// low bits of the halves by a high multiply, 1 and 3 to bits 8 and up by a low
// multiply.
__m256i SpreadGroups(__m256i bytes, __m256i order) {
  const __m256i in = _mm256_shuffle_epi8(bytes, order);
  const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                           _mm256_set1_epi32(0x04000040));
  const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                            _mm256_set1_epi32(0x01000010));
  return _mm256_or_si256(first, second);
}

// Indices 0 to 63 to the alphabet: one offset per range, picked by a class number.
__m256i ToAscii(__m256i indices) {
  __m256i range = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
  const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices);
  range = _mm256_or_si256(range, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
  return _mm256_add_epi8(indices, _mm256_shuffle_epi8(Lanes(kCharOffsets), range));
}

// The 24 bytes at source + kSkip (0 or 4) from two overlapping 16-byte loads
// (source and source + 12), so that nothing past source + 28 is read: each lane
// takes its first 12 bytes, or its last 12. The high load stays a load of its own:
// folded into vinserti128's memory operand, it reads 32 bytes under qemu's x86
// emulation (10.0), which then faults on a source that ends at a page end.
template <int kSkip>
__m256i Encode24(const uint8_t* source) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 12));
  __asm__("" : "+x"(high));
  const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  return ToAscii(SpreadGroups(bytes, Lanes(kSpreadOrder<kSkip>)));
}

void Store32(char* out, __m256i chars) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), chars);
}

// Character values: alphabet 0 to 63, anything else 255.
__m256i Values(__m256i chars) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(chars, 4), nibble);
  const __m256i low = _mm256_and_si256(chars, nibble);
  const __m256i clash = _mm256_and_si256(_mm256_shuffle_epi8(Lanes(kLowNibbleClasses), low),
                                         _mm256_shuffle_epi8(Lanes(kHighNibbleClasses), high));
  const __m256i invalid = _mm256_cmpgt_epi8(clash, _mm256_setzero_si256());
  const __m256i slash = _mm256_cmpeq_epi8(chars, _mm256_set1_epi8('/'));
  const __m256i values =
      _mm256_add_epi8(chars, _mm256_shuffle_epi8(Lanes(kValueOffsets), _mm256_add_epi8(high, slash)));
  return _mm256_or_si256(values, invalid);
}

struct Avx2Step {
  static constexpr size_t kEncodeBytes = 24;
  static constexpr size_t kEncodeReads = 28;
  static constexpr size_t kWidth = 32;

  static void EncodeBlock(char* out, const uint8_t* source) { Store32(out, Encode24<0>(source)); }

  // Bytes [0, 24) and [24, 48) to 64 characters, then the 24 that end the line
  // ([30, 54)) to the last 32, the first 24 of which repeat what is there.
  static void EncodeLine(char* out, const uint8_t* source) {
    Store32(out, Encode24<0>(source));
    Store32(out + 32, Encode24<0>(source + 24));
    Store32(out + 40, Encode24<4>(source + 26));
  }

  static uint64_t BreaksIn(__m256i chars) {
    const __m256i breaks = _mm256_or_si256(_mm256_cmpeq_epi8(chars, _mm256_set1_epi8('\r')),
                                           _mm256_cmpeq_epi8(chars, _mm256_set1_epi8('\n')));
    return static_cast<uint32_t>(_mm256_movemask_epi8(breaks));
  }

  static uint64_t Breaks(const char* from) {
    return BreaksIn(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
  }

  static uint64_t CopyBlock(uint8_t* to, const char* from) {
    const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), chars);
    return BreaksIn(chars);
  }

  using Decoded = __m256i;

  // Each lane leaves 12 bytes in its low 12; a dword permutation joins them.
  static Decoded DecodeBlock(const uint8_t* chars) {
    const __m256i values = Values(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(chars)));
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i lanes = _mm256_shuffle_epi8(
        groups, Lanes(kGroupBytesOrder));
    return _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  }

  // 24 bytes, as 16 and 8.
  static void StoreDecoded(uint8_t* out, Decoded bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(bytes, 1));
  }
};

}  // namespace

void EncodeAvx2(char* text, const uint8_t* source, size_t count, bool lines) {
  EncodeWith<Avx2Step>(text, source, count, lines);
}

size_t DecodeAvx2(uint8_t* out, const char* text, size_t length, uint32_t drop) {
  return DecodeWith<Avx2Step>(out, text, length, drop);
}

}  // namespace base64_internal
}  // namespace telvarn
