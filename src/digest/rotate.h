// Word rotations for the portable block functions, in the form compilers recognise as a rotate.
#pragma once

#include <cstdint>

namespace telvarn {

// n from 1 to 31 (63): a shift by the full width would be undefined.
inline uint32_t Rotl32(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t Rotr32(uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }
inline uint64_t Rotr64(uint64_t x, unsigned n) { return (x >> n) | (x << (64 - n)); }

}  // namespace telvarn
