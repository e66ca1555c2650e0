// BLAKE3's many-input kernel for AVX-512: sixteen inputs at a time, one per 32-bit lane of a ZMM register.
//
// VPRORD rotates by any count in one instruction; a last group of up to eight
// inputs runs in YMM registers (blake3_lanes.h's YmmLanes) with the same rotation.
// Each message register is built from four 16-byte loads, inputs i, i+4, i+8 and
// i+12, so that the unpacks, which work within 128-bit lanes, leave the inputs in
// order.
//
// GCC 12's AVX-512 intrinsics pass a deliberately undefined vector as the merge
// source of unmasked forms, which its own -Wmaybe-uninitialized then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "digest/x86/blake3_lanes.h"

namespace telvarn::blake3_internal {
namespace {

struct Unpack512 {
  __m512i lo32(__m512i a, __m512i b) const { return _mm512_unpacklo_epi32(a, b); }
  __m512i hi32(__m512i a, __m512i b) const { return _mm512_unpackhi_epi32(a, b); }
  __m512i lo64(__m512i a, __m512i b) const { return _mm512_unpacklo_epi64(a, b); }
  __m512i hi64(__m512i a, __m512i b) const { return _mm512_unpackhi_epi64(a, b); }
};

struct ZmmLanes {
  using Reg = __m512i;
  static constexpr size_t kLanes = 16;
  static Reg Add(Reg a, Reg b) { return _mm512_add_epi32(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  static Reg Set1(uint32_t x) { return _mm512_set1_epi32(static_cast<int>(x)); }
  static Reg LoadU(const void* p) { return _mm512_loadu_si512(p); }
  static void StoreU(void* p, Reg x) { _mm512_storeu_si512(p, x); }
  template <int kCount>
  static Reg RotateRight(Reg x) {
    return _mm512_ror_epi32(x, kCount);
  }
  static __m128i Load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static Reg Quad(const uint8_t* const lanes[16], size_t i, size_t at) {
    Reg x = _mm512_castsi128_si512(Load128(lanes[i] + at));
    x = _mm512_inserti32x4(x, Load128(lanes[i + 4] + at), 1);
    x = _mm512_inserti32x4(x, Load128(lanes[i + 8] + at), 2);
    return _mm512_inserti32x4(x, Load128(lanes[i + 12] + at), 3);
  }
  static void LoadMessage(Reg m[16], const uint8_t* const lanes[16], size_t offset) {
    for (size_t q = 0; q < 4; ++q) {
      const size_t at = offset + 16 * q;
      const Reg t[4] = {Quad(lanes, 0, at), Quad(lanes, 1, at), Quad(lanes, 2, at), Quad(lanes, 3, at)};
      Transpose4<ZmmLanes>(m + 4 * q, t, Unpack512{});
    }
  }
};

struct RorRotate {
  template <int kCount>
  static __m256i Right(__m256i x) {
    return _mm256_ror_epi32(x, kCount);
  }
};

}  // namespace

void HashManyAvx512(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                    bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  // A last group of up to eight inputs takes YMM registers: on Zen 4 a ZMM
  // instruction costs two YMM ones, so a ZMM pass with half its lanes idle costs
  // twice what the YMM pass does; with more than eight the ZMM pass is as cheap.
  const size_t short_group = count % 16 <= 8 ? count % 16 : 0;
  const size_t in_zmm = count - short_group;
  HashManyLanes<ZmmLanes>(inputs, in_zmm, blocks, key, counter, increment_counter, flags, flags_start, flags_end,
                          out);
  if (short_group == 0) return;
  HashManyLanes<YmmLanes<RorRotate>>(inputs + in_zmm * blocks * kBlockLength, short_group, blocks, key,
                                     counter + (increment_counter ? in_zmm : 0), increment_counter, flags,
                                     flags_start, flags_end, out + in_zmm * kCvLength);
}

}  // namespace telvarn::blake3_internal
