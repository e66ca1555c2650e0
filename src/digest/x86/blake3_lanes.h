// BLAKE3's many-input kernel with one input per vector lane, for the SSE4.1, AVX2 and AVX-512 variants.
//
// Included only by those variant files; everything here has internal linkage and
// is a template over the file's lane type, so each file compiles it for its own
// instruction set. A lane type `V` gives: the register type `Reg` and its lane
// count `kLanes` (32-bit lanes); Add, Xor, Set1, LoadU and StoreU; RotateRight<n> for
// the four rotation counts; and LoadMessage, which reads the same 64-byte block
// of every lane's input and transposes it so that register j holds word j of
// every lane (unpacks within 128-bit lanes, no gathers).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "digest/blake3_private.h"

namespace telvarn::blake3_internal {
namespace {

template <class V>
inline void G(typename V::Reg* v, int a, int b, int c, int d, typename V::Reg mx, typename V::Reg my) {
  v[a] = V::Add(V::Add(v[a], v[b]), mx);
  v[d] = V::template RotateRight<16>(V::Xor(v[d], v[a]));
  v[c] = V::Add(v[c], v[d]);
  v[b] = V::template RotateRight<12>(V::Xor(v[b], v[c]));
  v[a] = V::Add(V::Add(v[a], v[b]), my);
  v[d] = V::template RotateRight<8>(V::Xor(v[d], v[a]));
  v[c] = V::Add(v[c], v[d]);
  v[b] = V::template RotateRight<7>(V::Xor(v[b], v[c]));
}

// Round kRound with its message words known at compile time, so that each is a
// register (or a fixed stack slot) rather than an indexed load.
template <class V, size_t kRound>
inline void Round(typename V::Reg* v, const typename V::Reg* m) {
  constexpr const uint8_t* s = kSchedule.word[kRound];
  G<V>(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
  G<V>(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
  G<V>(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
  G<V>(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
  G<V>(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
  G<V>(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
  G<V>(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
  G<V>(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
}

template <class V, size_t... kRounds>
inline void Rounds(typename V::Reg* v, const typename V::Reg* m, std::index_sequence<kRounds...>) {
  (Round<V, kRounds>(v, m), ...);
}

// Words 4q .. 4q+3 of four registers' lanes transposed within each 128-bit lane:
// t[i] holds words 4q..4q+3 of input i (and of inputs i+4, i+8, i+12 in the upper
// 128-bit lanes); afterwards m[4q + k] holds word 4q + k of every input.
template <class V, class Unpack>
inline void Transpose4(typename V::Reg* m, const typename V::Reg* t, Unpack unpack) {
  const auto ab_lo = unpack.lo32(t[0], t[1]);
  const auto ab_hi = unpack.hi32(t[0], t[1]);
  const auto cd_lo = unpack.lo32(t[2], t[3]);
  const auto cd_hi = unpack.hi32(t[2], t[3]);
  m[0] = unpack.lo64(ab_lo, cd_lo);
  m[1] = unpack.hi64(ab_lo, cd_lo);
  m[2] = unpack.lo64(ab_hi, cd_hi);
  m[3] = unpack.hi64(ab_hi, cd_hi);
}

// How far ahead each lane asks for its input: the lanes read as many streams of
// one chunk each, too short for the hardware prefetcher to follow from memory.
constexpr size_t kPrefetchBlocks = 4;

// Asks for block `block` of each lane of the group of inputs before `next_first`
// (past its last block, the next group's blocks), where that input exists.
inline void Prefetch(const uint8_t* inputs, size_t count, size_t stride, size_t next_first, size_t block,
                     size_t blocks, size_t lanes) {
  size_t first = next_first - lanes;
  if (block >= blocks) {
    first = next_first;
    block -= blocks;
  }
  for (size_t i = first; i < first + lanes && i < count; ++i) {
    _mm_prefetch(reinterpret_cast<const char*>(inputs + i * stride + block * kBlockLength), _MM_HINT_T0);
  }
}

// Eight inputs, one per 32-bit lane of a YMM register, for the AVX2 kernel and the
// AVX-512 kernel's short groups; `Rotate::Right<n>` rotates in the instructions of
// the file that uses it. Each message register is built from two 16-byte loads,
// inputs i and i+4, so that the unpacks, which work within 128-bit lanes, leave
// the inputs in order. Everything YMM here is a member of the template, so that
// the files for narrower instruction sets, which never instantiate it, compile it not.
template <class Rotate>
struct YmmLanes {
  using Reg = __m256i;
  struct Unpack {
    Reg lo32(Reg a, Reg b) const { return _mm256_unpacklo_epi32(a, b); }
    Reg hi32(Reg a, Reg b) const { return _mm256_unpackhi_epi32(a, b); }
    Reg lo64(Reg a, Reg b) const { return _mm256_unpacklo_epi64(a, b); }
    Reg hi64(Reg a, Reg b) const { return _mm256_unpackhi_epi64(a, b); }
  };
  static constexpr size_t kLanes = 8;
  static Reg Add(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  static Reg Set1(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
  static Reg LoadU(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void StoreU(void* p, Reg x) { _mm256_storeu_si256(static_cast<__m256i*>(p), x); }
  template <int kCount>
  static Reg RotateRight(Reg x) {
    return Rotate::template Right<kCount>(x);
  }
  static Reg Pair(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
  }
  static void LoadMessage(Reg m[16], const uint8_t* const lanes[8], size_t offset) {
    for (size_t q = 0; q < 4; ++q) {
      const size_t at = offset + 16 * q;
      const Reg t[4] = {Pair(lanes[0] + at, lanes[4] + at), Pair(lanes[1] + at, lanes[5] + at),
                        Pair(lanes[2] + at, lanes[6] + at), Pair(lanes[3] + at, lanes[7] + at)};
      Transpose4<YmmLanes>(m + 4 * q, t, Unpack{});
    }
  }
};

// The kernel of blake3_private.h, `V::kLanes` inputs at a time. A last group of
// fewer inputs fills its spare lanes with the group's first input and drops
// their results, so every group takes the same path.
template <class V>
void HashManyLanes(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                   bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  using Reg = typename V::Reg;
  constexpr size_t kLanes = V::kLanes;
  const size_t stride = blocks * kBlockLength;
  for (size_t first = 0; first < count; first += kLanes) {
    const size_t used = count - first < kLanes ? count - first : kLanes;
    const uint8_t* lanes[kLanes];
    alignas(64) uint32_t counter_low[kLanes];
    alignas(64) uint32_t counter_high[kLanes];
    for (size_t i = 0; i < kLanes; ++i) {
      lanes[i] = inputs + (first + (i < used ? i : 0)) * stride;
      const uint64_t lane_counter = counter + (increment_counter ? first + i : 0);
      counter_low[i] = static_cast<uint32_t>(lane_counter);
      counter_high[i] = static_cast<uint32_t>(lane_counter >> 32);
    }
    Reg h[8];
    for (int w = 0; w < 8; ++w) h[w] = V::Set1(key[w]);
    const Reg low = V::LoadU(counter_low);
    const Reg high = V::LoadU(counter_high);
    for (size_t b = 0; b < blocks; ++b) {
      Prefetch(inputs, count, stride, first + kLanes, b + kPrefetchBlocks, blocks, kLanes);
      Reg m[16];
      V::LoadMessage(m, lanes, b * kBlockLength);
      uint32_t block_flags = flags;
      if (b == 0) block_flags |= flags_start;
      if (b + 1 == blocks) block_flags |= flags_end;
      Reg v[16] = {h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7],
                   V::Set1(kIv[0]), V::Set1(kIv[1]), V::Set1(kIv[2]), V::Set1(kIv[3]),
                   low, high, V::Set1(kBlockLength), V::Set1(block_flags)};
      Rounds<V>(v, m, std::make_index_sequence<7>());
      for (int w = 0; w < 8; ++w) h[w] = V::Xor(v[w], v[w + 8]);
    }
    // Once per input, not per block: through memory rather than a transpose back.
    alignas(64) uint32_t words[8][kLanes];
    for (int w = 0; w < 8; ++w) V::StoreU(words[w], h[w]);
    for (size_t i = 0; i < used; ++i) {
      uint32_t cv[8];
      for (int w = 0; w < 8; ++w) cv[w] = words[w][i];
      std::memcpy(out + (first + i) * kCvLength, cv, kCvLength);
    }
  }
}

}  // namespace
}  // namespace telvarn::blake3_internal
