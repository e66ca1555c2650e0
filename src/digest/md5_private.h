// Shared by the MD5 block-function variants: the constants of RFC 1321 and the portable form.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::md5_internal {

// The sine-derived constants T[1..64] of RFC 1321, section 3.4.
extern const uint32_t kMd5SineConstants[64];

void Md5CompressPortable(uint32_t state[4], const uint8_t* data, size_t blocks);

}  // namespace telvarn::md5_internal
