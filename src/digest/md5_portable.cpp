// The MD5 compression function in plain C++: four rounds of sixteen steps (RFC 1321, 3.4), unrolled.
#include <cstring>

#include "digest/md5_private.h"
#include "digest/rotate.h"

namespace telvarn::md5_internal {
namespace {

// Message word k of the block. On a little-endian processor the copy is one load,
// which the compiler folds into the add that uses it.
inline uint32_t Word(const uint8_t* block, int k) {
  uint32_t word;
  std::memcpy(&word, block + 4 * k, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap32(word);
#endif
  return word;
}

// Every step is a = b + ((a + f(b, c, d) + X[k] + T[i]) <<< s), and each step's b is
// the previous step's result, so the chain through b is what limits the speed. The
// steps add X[k] + T[i] into a first, and take whatever of f does not need b before
// b arrives, leaving as few operations as possible between one b and the next.

// F = (b & c) | (~b & d), written as a select of c or d by b: one AND and one XOR after b.
inline void StepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int i, unsigned s) {
  a += word + kMd5SineConstants[i];
  a += ((c ^ d) & b) ^ d;
  a = Rotl32(a, s) + b;
}

// G = (b & d) | (c & ~d). The two halves never share a set bit, so they can be added
// one at a time; c & ~d is ready before b.
inline void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int i, unsigned s) {
  a += word + kMd5SineConstants[i];
  a += c & ~d;
  a += b & d;
  a = Rotl32(a, s) + b;
}

inline void StepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int i, unsigned s) {
  a += word + kMd5SineConstants[i];
  a += b ^ (c ^ d);
  a = Rotl32(a, s) + b;
}

// I = c ^ (b | ~d): ~d is ready before b.
inline void StepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int i, unsigned s) {
  a += word + kMd5SineConstants[i];
  a += c ^ (b | ~d);
  a = Rotl32(a, s) + b;
}

void CompressBlock(uint32_t state[4], const uint8_t* x) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  // Round 1: words in order, shifts 7, 12, 17, 22.
  StepF(a, b, c, d, Word(x, 0), 0, 7);
  StepF(d, a, b, c, Word(x, 1), 1, 12);
  StepF(c, d, a, b, Word(x, 2), 2, 17);
  StepF(b, c, d, a, Word(x, 3), 3, 22);
  StepF(a, b, c, d, Word(x, 4), 4, 7);
  StepF(d, a, b, c, Word(x, 5), 5, 12);
  StepF(c, d, a, b, Word(x, 6), 6, 17);
  StepF(b, c, d, a, Word(x, 7), 7, 22);
  StepF(a, b, c, d, Word(x, 8), 8, 7);
  StepF(d, a, b, c, Word(x, 9), 9, 12);
  StepF(c, d, a, b, Word(x, 10), 10, 17);
  StepF(b, c, d, a, Word(x, 11), 11, 22);
  StepF(a, b, c, d, Word(x, 12), 12, 7);
  StepF(d, a, b, c, Word(x, 13), 13, 12);
  StepF(c, d, a, b, Word(x, 14), 14, 17);
  StepF(b, c, d, a, Word(x, 15), 15, 22);

  // Round 2: word (5i + 1) mod 16, shifts 5, 9, 14, 20.
  StepG(a, b, c, d, Word(x, 1), 16, 5);
  StepG(d, a, b, c, Word(x, 6), 17, 9);
  StepG(c, d, a, b, Word(x, 11), 18, 14);
  StepG(b, c, d, a, Word(x, 0), 19, 20);
  StepG(a, b, c, d, Word(x, 5), 20, 5);
  StepG(d, a, b, c, Word(x, 10), 21, 9);
  StepG(c, d, a, b, Word(x, 15), 22, 14);
  StepG(b, c, d, a, Word(x, 4), 23, 20);
  StepG(a, b, c, d, Word(x, 9), 24, 5);
  StepG(d, a, b, c, Word(x, 14), 25, 9);
  StepG(c, d, a, b, Word(x, 3), 26, 14);
  StepG(b, c, d, a, Word(x, 8), 27, 20);
  StepG(a, b, c, d, Word(x, 13), 28, 5);
  StepG(d, a, b, c, Word(x, 2), 29, 9);
  StepG(c, d, a, b, Word(x, 7), 30, 14);
  StepG(b, c, d, a, Word(x, 12), 31, 20);

  // Round 3: word (3i + 5) mod 16, shifts 4, 11, 16, 23.
  StepH(a, b, c, d, Word(x, 5), 32, 4);
  StepH(d, a, b, c, Word(x, 8), 33, 11);
  StepH(c, d, a, b, Word(x, 11), 34, 16);
  StepH(b, c, d, a, Word(x, 14), 35, 23);
  StepH(a, b, c, d, Word(x, 1), 36, 4);
  StepH(d, a, b, c, Word(x, 4), 37, 11);
  StepH(c, d, a, b, Word(x, 7), 38, 16);
  StepH(b, c, d, a, Word(x, 10), 39, 23);
  StepH(a, b, c, d, Word(x, 13), 40, 4);
  StepH(d, a, b, c, Word(x, 0), 41, 11);
  StepH(c, d, a, b, Word(x, 3), 42, 16);
  StepH(b, c, d, a, Word(x, 6), 43, 23);
  StepH(a, b, c, d, Word(x, 9), 44, 4);
  StepH(d, a, b, c, Word(x, 12), 45, 11);
  StepH(c, d, a, b, Word(x, 15), 46, 16);
  StepH(b, c, d, a, Word(x, 2), 47, 23);

  // Round 4: word 7i mod 16, shifts 6, 10, 15, 21.
  StepI(a, b, c, d, Word(x, 0), 48, 6);
  StepI(d, a, b, c, Word(x, 7), 49, 10);
  StepI(c, d, a, b, Word(x, 14), 50, 15);
  StepI(b, c, d, a, Word(x, 5), 51, 21);
  StepI(a, b, c, d, Word(x, 12), 52, 6);
  StepI(d, a, b, c, Word(x, 3), 53, 10);
  StepI(c, d, a, b, Word(x, 10), 54, 15);
  StepI(b, c, d, a, Word(x, 1), 55, 21);
  StepI(a, b, c, d, Word(x, 8), 56, 6);
  StepI(d, a, b, c, Word(x, 15), 57, 10);
  StepI(c, d, a, b, Word(x, 6), 58, 15);
  StepI(b, c, d, a, Word(x, 13), 59, 21);
  StepI(a, b, c, d, Word(x, 4), 60, 6);
  StepI(d, a, b, c, Word(x, 11), 61, 10);
  StepI(c, d, a, b, Word(x, 2), 62, 15);
  StepI(b, c, d, a, Word(x, 9), 63, 21);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

const uint32_t kMd5SineConstants[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

void Md5CompressPortable(uint32_t state[4], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) CompressBlock(state, data);
}

}  // namespace telvarn::md5_internal
