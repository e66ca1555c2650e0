// SHA-512 compression in plain C++ (FIPS 180-2, section 6.3.2).
//
// On the 32-bit target this is the 32-bit block function: the compiler holds each
// 64-bit word as a pair of 32-bit registers, adds with carry (add/adc) and rotates
// by shifting across both halves.
#include "digest/sha_private.h"

namespace telvarn::sha_internal {

void Sha512CompressPortable(uint64_t state[8], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 128) {
    uint64_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = LoadBe64(data + 8 * t);
    for (int t = 16; t < 80; ++t) {
      uint64_t s0 = Rotr64(w[t - 15], 1) ^ Rotr64(w[t - 15], 8) ^ (w[t - 15] >> 7);
      uint64_t s1 = Rotr64(w[t - 2], 19) ^ Rotr64(w[t - 2], 61) ^ (w[t - 2] >> 6);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 80; ++t) {
      uint64_t t1 = h + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + ((e & f) ^ (~e & g)) +
                    kSha512RoundConstants[t] + w[t];
      uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

}  // namespace telvarn::sha_internal
