// Shared by the BLAKE3 kernel variants and the hasher: the constants, the compression function and the kernels' declarations.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::blake3_internal {

constexpr size_t kBlockLength = 64;
constexpr size_t kChunkLength = 1024;
constexpr size_t kBlocksPerChunk = kChunkLength / kBlockLength;
constexpr size_t kCvLength = 32;

// Domain flags of the compression function's last word.
constexpr uint8_t kChunkStart = 1;
constexpr uint8_t kChunkEnd = 2;
constexpr uint8_t kParent = 4;
constexpr uint8_t kRoot = 8;
constexpr uint8_t kKeyedHash = 16;

// SHA-256's initial words: the key of the unkeyed hash and the compression's third row.
constexpr uint32_t kIv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                             0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

// Which message word each round's G functions take: round r is the fixed
// permutation applied r times, so the kernels index the block instead of moving it.
struct MessageSchedule {
  uint8_t word[7][16];
};
constexpr MessageSchedule MakeMessageSchedule() {
  constexpr uint8_t kPermutation[16] = {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8};
  MessageSchedule schedule{};
  for (int i = 0; i < 16; ++i) schedule.word[0][i] = static_cast<uint8_t>(i);
  for (int r = 1; r < 7; ++r) {
    for (int i = 0; i < 16; ++i) schedule.word[r][i] = schedule.word[r - 1][kPermutation[i]];
  }
  return schedule;
}
constexpr MessageSchedule kSchedule = MakeMessageSchedule();

inline uint32_t LoadWord(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}
inline void StoreWord(uint8_t* bytes, uint32_t word) {
  bytes[0] = static_cast<uint8_t>(word);
  bytes[1] = static_cast<uint8_t>(word >> 8);
  bytes[2] = static_cast<uint8_t>(word >> 16);
  bytes[3] = static_cast<uint8_t>(word >> 24);
}

// The full 16-word state after the seven rounds, before the feed-forward: words
// 0-7 XOR 8-15 are the chaining value; with 8-15 XOR `cv` the 64 bytes of an
// output block.
void CompressRounds(uint32_t state[16], const uint32_t cv[8], const uint8_t block[kBlockLength],
                    uint32_t block_length, uint64_t counter, uint8_t flags);
// Compresses one block into `cv` in place.
void CompressInPlace(uint32_t cv[8], const uint8_t block[kBlockLength], uint32_t block_length, uint64_t counter,
                     uint8_t flags);

// The kernels: `count` inputs of `blocks` whole blocks each, contiguous, each
// compressed from `key` into a chaining value written to `out` (32 bytes per input,
// little-endian). Input i has the counter `counter + i` when `increment_counter`,
// else `counter`; every block has `flags`, the first also `flags_start`, the last
// also `flags_end`. Whole chunks: blocks 16, incrementing counters from the first
// chunk's, flags_start kChunkStart, flags_end kChunkEnd. Parents: blocks 1 (each
// input the left and right chaining values side by side), counter 0, flags with
// kParent. No input is a root.
void HashManyPortable(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                      bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out);
#if defined(__i386__) || defined(__x86_64__)
void HashManySse41(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                   bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out);
void HashManyAvx2(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                  bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out);
void HashManyAvx512(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8], uint64_t counter,
                    bool increment_counter, uint8_t flags, uint8_t flags_start, uint8_t flags_end, uint8_t* out);
#endif

}  // namespace telvarn::blake3_internal
