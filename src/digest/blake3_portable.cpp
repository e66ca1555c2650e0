// BLAKE3's compression function in plain C++, and the kernel that runs it one input at a time.
#include "digest/blake3_private.h"

namespace telvarn::blake3_internal {
namespace {

inline uint32_t Rotr(uint32_t x, int n) { return x >> n | x << (32 - n); }

inline void G(uint32_t* v, int a, int b, int c, int d, uint32_t mx, uint32_t my) {
  v[a] = v[a] + v[b] + mx;
  v[d] = Rotr(v[d] ^ v[a], 16);
  v[c] = v[c] + v[d];
  v[b] = Rotr(v[b] ^ v[c], 12);
  v[a] = v[a] + v[b] + my;
  v[d] = Rotr(v[d] ^ v[a], 8);
  v[c] = v[c] + v[d];
  v[b] = Rotr(v[b] ^ v[c], 7);
}

}  // namespace

void CompressRounds(uint32_t state[16], const uint32_t cv[8], const uint8_t block[kBlockLength],
                    uint32_t block_length, uint64_t counter, uint8_t flags) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadWord(block + 4 * i);
  for (int i = 0; i < 8; ++i) state[i] = cv[i];
  for (int i = 0; i < 4; ++i) state[8 + i] = kIv[i];
  state[12] = static_cast<uint32_t>(counter);
  state[13] = static_cast<uint32_t>(counter >> 32);
  state[14] = block_length;
  state[15] = flags;
  for (const auto& s : kSchedule.word) {
    G(state, 0, 4, 8, 12, m[s[0]], m[s[1]]);
    G(state, 1, 5, 9, 13, m[s[2]], m[s[3]]);
    G(state, 2, 6, 10, 14, m[s[4]], m[s[5]]);
    G(state, 3, 7, 11, 15, m[s[6]], m[s[7]]);
    G(state, 0, 5, 10, 15, m[s[8]], m[s[9]]);
    G(state, 1, 6, 11, 12, m[s[10]], m[s[11]]);
    G(state, 2, 7, 8, 13, m[s[12]], m[s[13]]);
    G(state, 3, 4, 9, 14, m[s[14]], m[s[15]]);
  }
}

void CompressInPlace(uint32_t cv[8], const uint8_t block[kBlockLength], uint32_t block_length, uint64_t counter,
                     uint8_t flags) {
  uint32_t state[16];
  CompressRounds(state, cv, block, block_length, counter, flags);
  for (int i = 0; i < 8; ++i) cv[i] = state[i] ^ state[i + 8];
}

void HashManyPortable(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                      bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t cv[8];
    for (int w = 0; w < 8; ++w) cv[w] = key[w];
    const uint8_t* input = inputs + i * blocks * kBlockLength;
    for (size_t b = 0; b < blocks; ++b) {
      uint8_t block_flags = flags;
      if (b == 0) block_flags |= flags_start;
      if (b + 1 == blocks) block_flags |= flags_end;
      CompressInPlace(cv, input + b * kBlockLength, kBlockLength, counter, block_flags);
    }
    for (int w = 0; w < 8; ++w) StoreWord(out + i * kCvLength + 4 * w, cv[w]);
    if (increment_counter) ++counter;
  }
}

}  // namespace telvarn::blake3_internal
