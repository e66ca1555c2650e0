// The digest kernels' signatures and variant tables (filled in digest/dispatch.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/kernel_table.h"

namespace telvarn {

// Compress `blocks` consecutive blocks (64 bytes for MD5 and SHA-1/256, 128 for SHA-512).
using Md5BlockFn = void (*)(uint32_t state[4], const uint8_t* data, size_t blocks);
using Sha1BlockFn = void (*)(uint32_t state[5], const uint8_t* data, size_t blocks);
using Sha256BlockFn = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);
using Sha512BlockFn = void (*)(uint64_t state[8], const uint8_t* data, size_t blocks);
// Absorb `block_count` consecutive blocks of `rate_bytes` (72, 104, 136 or 144)
// into the 25 lanes of a Keccak-f[1600] state, each block's lanes read least
// significant byte first and followed by the 24 rounds.
using KeccakAbsorbFn = void (*)(uint64_t state[25], const uint8_t* blocks, size_t block_count, size_t rate_bytes);
// Advance a reflected CRC register over `count` bytes: the register as it stands
// (no initial or final inversion), the low 16 bits for CRC-16.
// Compress `block_count` consecutive blocks (128 bytes for BLAKE2b, 64 for
// BLAKE2s) into the chain value h, each a block that is not the message's last:
// the byte counter t (low word first) grows by a block before each. With `last`,
// the one block given is the message's final block, zero-padded, t already counts
// its bytes, and the kernel sets the final flag instead of counting.
using Blake2bCompressFn = void (*)(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count,
                                   bool last);
using Blake2sCompressFn = void (*)(uint32_t h[8], uint32_t t[2], const uint8_t* blocks, size_t block_count,
                                   bool last);
using CrcUpdateFn = uint32_t (*)(uint32_t crc, const uint8_t* data, size_t count);
using Crc64UpdateFn = uint64_t (*)(uint64_t crc, const uint8_t* data, size_t count);
// BLAKE3: `count` inputs of `blocks` whole 64-byte blocks each, contiguous, each to
// its 32-byte chaining value at out + 32 * i; whole chunks (16 blocks, counters
// counter, counter + 1, ...) or parent nodes (1 block, counter 0). The contract
// is in digest/blake3_private.h.
using Blake3HashManyFn = void (*)(const uint8_t* inputs, size_t count, size_t blocks, const uint32_t key[8],
                                  uint64_t counter, bool increment_counter, uint8_t flags, uint8_t flags_start,
                                  uint8_t flags_end, uint8_t* out);
// XXH3's stream functions in one of xxHash's vector forms, each compiled from
// xxHash's header for its instruction set (digest/xxh3_form.h). `state` is
// xxHash's XXH3_state_t, which every form lays out alike; a stream keeps to the
// form that reset it.
struct Xxh3Functions {
  // Makes `state` ready for a seed-0 hash, 64- or 128-bit.
  void (*reset)(void* state);
  void (*update)(void* state, const uint8_t* data, size_t count);
  uint64_t (*digest64)(const void* state);
  // The 128-bit hash, its high half in out[0].
  void (*digest128)(const void* state, uint64_t out[2]);
};
using Xxh3Fn = const Xxh3Functions*;

extern const KernelTable<Md5BlockFn> kMd5Kernels;
extern const KernelTable<Sha1BlockFn> kSha1Kernels;
extern const KernelTable<Sha256BlockFn> kSha256Kernels;
extern const KernelTable<Sha512BlockFn> kSha512Kernels;
extern const KernelTable<KeccakAbsorbFn> kKeccakKernels;
extern const KernelTable<Blake2bCompressFn> kBlake2bKernels;
extern const KernelTable<Blake2sCompressFn> kBlake2sKernels;
// The byte-table update is the reference; slicing-by-8 is what a processor
// without carry-less multiplication runs.
extern const KernelTable<CrcUpdateFn> kCrc32Kernels;
extern const KernelTable<CrcUpdateFn> kCrc32cKernels;
extern const KernelTable<CrcUpdateFn> kCrc16Kernels;
extern const KernelTable<Crc64UpdateFn> kCrc64Kernels;
extern const KernelTable<Blake3HashManyFn> kBlake3Kernels;
extern const KernelTable<Xxh3Fn> kXxh3Kernels;

using DigestKernelTables = TableList<kCrc32Kernels, kCrc32cKernels, kCrc16Kernels, kCrc64Kernels, kMd5Kernels,
                                     kSha1Kernels, kSha256Kernels, kSha512Kernels, kKeccakKernels, kBlake2bKernels, kBlake2sKernels,
                                     kBlake3Kernels, kXxh3Kernels>;

using Md5Variant = KernelVariant<Md5BlockFn>;
using Sha1Variant = KernelVariant<Sha1BlockFn>;
using Sha256Variant = KernelVariant<Sha256BlockFn>;
using Sha512Variant = KernelVariant<Sha512BlockFn>;
using KeccakVariant = KernelVariant<KeccakAbsorbFn>;
using Blake2bVariant = KernelVariant<Blake2bCompressFn>;
using Blake2sVariant = KernelVariant<Blake2sCompressFn>;
using CrcVariant = KernelVariant<CrcUpdateFn>;
using Crc64Variant = KernelVariant<Crc64UpdateFn>;
using Blake3Variant = KernelVariant<Blake3HashManyFn>;
using Xxh3Variant = KernelVariant<Xxh3Fn>;

}  // namespace telvarn
