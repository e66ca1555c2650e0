// Base64 with AVX-512 VBMI: 48 bytes to 64 characters and back per step, by byte permutes.
// GCC 12's AVX-512 intrinsics pass a deliberately undefined vector as the merge
// source of unmasked forms, which its own -Wmaybe-uninitialized then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "codec/x86/base64_simd.h"

namespace telvarn {
namespace base64_internal {
namespace {

// Per group k of 16, the bytes s0 s1 s2 at 3k as the 32-bit word s1 s0 s2 s1 (low
// byte first); then one 8-bit field per output byte, shifted out of each qword
// (two groups): the indices sit at bits 10, 4, 22 and 16 of each word.
struct EncodeTables {
  uint8_t order[64];
};

constexpr EncodeTables MakeEncodeTables() {
  EncodeTables t{};
  for (int k = 0; k < 16; ++k) {
    t.order[4 * k] = static_cast<uint8_t>(3 * k + 1);
    t.order[4 * k + 1] = static_cast<uint8_t>(3 * k);
    t.order[4 * k + 2] = static_cast<uint8_t>(3 * k + 2);
    t.order[4 * k + 3] = static_cast<uint8_t>(3 * k + 1);
  }
  return t;
}

constexpr EncodeTables kEncode = MakeEncodeTables();

// Byte 3k + t of the output is byte 2 - t of group k's 32-bit sum.
struct PackTable {
  uint8_t index[64];
};

constexpr PackTable MakePackTable() {
  PackTable t{};
  for (int k = 0; k < 16; ++k) {
    for (int b = 0; b < 3; ++b) t.index[3 * k + b] = static_cast<uint8_t>(4 * k + 2 - b);
  }
  return t;
}

constexpr PackTable kPack = MakePackTable();

__m512i Load64(const void* p) { return _mm512_loadu_si512(p); }

// Exactly source[0, 48), as a 32-byte and a 16-byte load.
__m512i Encode48(const uint8_t* source) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 32));
  const __m512i bytes = _mm512_inserti32x4(_mm512_castsi256_si512(low), high, 2);
  const __m512i spread = _mm512_permutexvar_epi8(Load64(kEncode.order), bytes);
  const __m512i indices =
      _mm512_multishift_epi64_epi8(_mm512_set1_epi64(0x3036242A1016040ALL), spread);
  // vpermb looks at the low 6 bits of each index only.
  return _mm512_permutexvar_epi8(indices, Load64(kAlphabet));
}

void Store64(char* out, __m512i chars) { _mm512_storeu_si512(out, chars); }

struct Avx512VbmiStep {
  static constexpr size_t kEncodeBytes = 48;
  static constexpr size_t kEncodeReads = 48;
  static constexpr size_t kWidth = 64;

  static void EncodeBlock(char* out, const uint8_t* source) { Store64(out, Encode48(source)); }

  // [0, 48) to 64 characters, then [6, 54) to the last 64, the first 56 of which
  // repeat what is there.
  static void EncodeLine(char* out, const uint8_t* source) {
    Store64(out, Encode48(source));
    Store64(out + 8, Encode48(source + 6));
  }

  static uint64_t BreaksIn(__m512i chars) {
    return _mm512_cmpeq_epi8_mask(chars, _mm512_set1_epi8('\r')) |
           _mm512_cmpeq_epi8_mask(chars, _mm512_set1_epi8('\n'));
  }

  static uint64_t Breaks(const char* from) { return BreaksIn(Load64(from)); }

  static uint64_t CopyBlock(uint8_t* to, const char* from) {
    const __m512i chars = Load64(from);
    _mm512_storeu_si512(to, chars);
    return BreaksIn(chars);
  }

  using Decoded = __m512i;

  // Values by a two-table permute of the low 7 bits, 255 for codes of 128 and up;
  // the sums as in the SSSE3 file; one permute packs the 48 bytes.
  static Decoded DecodeBlock(const uint8_t* chars) {
    const __m512i codes = Load64(chars);
    __m512i values =
        _mm512_permutex2var_epi8(Load64(kCharValues.value), codes, Load64(kCharValues.value + 64));
    values = _mm512_mask_mov_epi8(values, _mm512_movepi8_mask(codes), _mm512_set1_epi8(-1));
    const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    const __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    return _mm512_permutexvar_epi8(Load64(kPack.index), groups);
  }

  // 48 bytes, as 32 and 16.
  static void StoreDecoded(uint8_t* out, Decoded bytes) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm512_extracti32x4_epi32(bytes, 2));
  }
};

}  // namespace

void EncodeAvx512Vbmi(char* text, const uint8_t* source, size_t count, bool lines) {
  EncodeWith<Avx512VbmiStep>(text, source, count, lines);
}

size_t DecodeAvx512Vbmi(uint8_t* out, const char* text, size_t length, uint32_t drop) {
  return DecodeWith<Avx512VbmiStep>(out, text, length, drop);
}

}  // namespace base64_internal
}  // namespace telvarn
