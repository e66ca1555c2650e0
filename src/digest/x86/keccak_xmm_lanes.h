// Keccak lanes held one to a vector register, in its low 64 bits, for the SSE2 and AVX-512 absorbs.
//
// Included only by those variant files, and everything here has internal linkage
// (see digest/keccak_rounds.h). Each file adds Rol<n> and Chi for XmmLane in the
// instructions it is compiled for.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "digest/keccak_rounds.h"

namespace telvarn::keccak_internal {
namespace {

struct XmmLane {
  __m128i bits;
};

inline XmmLane operator^(XmmLane a, XmmLane b) { return {_mm_xor_si128(a.bits, b.bits)}; }

struct XmmLanes {
  using Lane = XmmLane;
  static Lane Load(const uint64_t* word) { return {_mm_loadl_epi64(reinterpret_cast<const __m128i*>(word))}; }
  static void Store(uint64_t* word, Lane lane) { _mm_storel_epi64(reinterpret_cast<__m128i*>(word), lane.bits); }
  // x86 is little-endian: the eight bytes as they stand are the lane.
  static Lane Message(const uint8_t* bytes) { return {_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes))}; }
  static Lane Constant(size_t round) { return Load(kKeccakRoundConstants + round); }
};

}  // namespace
}  // namespace telvarn::keccak_internal
