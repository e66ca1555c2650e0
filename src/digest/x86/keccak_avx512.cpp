// Keccak-f[1600] absorbing for x86-64 with AVX-512VL: the 25 lanes in 25 of the 32 XMM registers.
//
// Nothing spills: every lane and temporary of a round fits the register file.
// VPROLQ rotates in one instruction and VPTERNLOGQ does chi's a ^ (~b & c) in
// one (and the compiler folds pairs of theta's XORs into it too).
#include "digest/keccak_private.h"
#include "digest/x86/keccak_xmm_lanes.h"

namespace telvarn::keccak_internal {
namespace {

template <unsigned kCount>
XmmLane Rol(XmmLane x) {
  static_assert(kCount > 0 && kCount < 64);
  return {_mm_rol_epi64(x.bits, kCount)};
}

// 0xD2 is the truth table of a ^ (~b & c) over the operands a, b, c.
XmmLane Chi(XmmLane a, XmmLane b, XmmLane c) { return {_mm_ternarylogic_epi64(a.bits, b.bits, c.bits, 0xD2)}; }

}  // namespace

void KeccakAbsorbAvx512(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes) {
  AbsorbBlocks<XmmLanes>(state, blocks, block_count, rate_bytes);
}

}  // namespace telvarn::keccak_internal
