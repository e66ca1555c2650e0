// Keccak-f[1600] absorbing for 32-bit mode with SSE2: each lane in an XMM register rather than a pair of general ones.
//
// With eight XMM registers most lanes live on the stack, but a lane's XOR, AND-NOT
// and rotate (two shifts and an OR) are each one 64-bit operation instead of two
// 32-bit ones plus the shuffling of halves that rotations need.
#include "digest/keccak_private.h"
#include "digest/x86/keccak_xmm_lanes.h"

namespace telvarn::keccak_internal {
namespace {

template <unsigned kCount>
XmmLane Rol(XmmLane x) {
  static_assert(kCount > 0 && kCount < 64);
  return {_mm_or_si128(_mm_slli_epi64(x.bits, kCount), _mm_srli_epi64(x.bits, 64 - kCount))};
}

XmmLane Chi(XmmLane a, XmmLane b, XmmLane c) { return {_mm_xor_si128(a.bits, _mm_andnot_si128(b.bits, c.bits))}; }

}  // namespace

void KeccakAbsorbSse2(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes) {
  AbsorbBlocks<XmmLanes>(state, blocks, block_count, rate_bytes);
}

}  // namespace telvarn::keccak_internal
