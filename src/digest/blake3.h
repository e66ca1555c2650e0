// BLAKE3 (the hash and the keyed hash): a streaming hasher, and the subtree functions for hashing one message on several threads.
//
// A message of whole 1024-byte chunks (the last one partial, or empty for the
// empty message) is hashed as a binary tree: chunk i, compressed block by block
// with the counter i, gives a 32-byte chaining value; each parent node compresses
// the chaining values of its two children; the left subtree of every node holds
// the largest power of two of chunks that leaves at least one byte to the right.
// The root alone is compressed with the ROOT flag, which is why a node's chaining
// value is final only once it is known not to be the root.
//
// Splitting one message across threads: choose runs of whole chunks, each a
// complete subtree (Blake3HashSubtree's preconditions), hash each run on any
// thread with Blake3HashSubtree, and feed the one hasher the bytes before, the
// runs' chaining values with AppendSubtree, and the bytes after, in message order:
//
//   Blake3Hasher hasher;                                 // or Blake3Hasher(key)
//   hasher.Update(message, a);                           // a = 4096 * 3
//   Blake3HashSubtree(message + a, 4, 12, nullptr, cv);  // on a worker: 4 chunks from chunk 12
//   hasher.AppendSubtree(cv, 4);                         // position 12 * 1024, a multiple of 4 * 1024
//   hasher.Update(message + a + 4096, rest);             // rest >= 1
//   hasher.Finalize(out, 32);                            // the one-thread result
//
// A plan that always meets the preconditions: at a position p that is a multiple
// of 1024, a run of n chunks, n the largest power of two up to the size wanted
// such that p is a multiple of n * 1024 and more than n * 1024 bytes remain; when
// 1024 bytes or fewer remain, they go to Update. The hasher's Update takes
// whole-chunk runs of a long update through the same kernels by itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

constexpr size_t kBlake3ChunkLength = 1024;
constexpr size_t kBlake3KeyLength = 32;
// The chaining value of a subtree, and the default output length.
constexpr size_t kBlake3CvLength = 32;
constexpr size_t kBlake3OutLength = 32;

// The chaining value of a run of whole chunks that is one complete subtree of a
// message, not its root, into `cv` (32 bytes). Preconditions, each needed for
// the value to be a node of the message's tree:
// - `chunk_count` is a power of two (1, 2, 4, ...): `chunk_count` * 1024 bytes at
//   `chunks`;
// - `first_chunk`, the index of the run's first chunk in the message (its byte
//   offset / 1024), is a multiple of `chunk_count`;
// - at least one more byte of the message follows the run (else the run's node
//   would be the root, or the left half of the root would be larger).
// `key` is the 32-byte key of the keyed hash, or null for the hash. Returns false,
// writing nothing, when the first two do not hold; the third cannot be checked
// here (Blake3Hasher::Finalize reports it). Safe to call from any number of
// threads at once; it runs `variant`'s kernel, by default the processor's best,
// and takes at most about 16 KiB of the calling thread's stack.
bool Blake3HashSubtree(const uint8_t* chunks, uint64_t chunk_count, uint64_t first_chunk, const uint8_t* key,
                       uint8_t cv[kBlake3CvLength]);
bool Blake3HashSubtree(const uint8_t* chunks, uint64_t chunk_count, uint64_t first_chunk, const uint8_t* key,
                       uint8_t cv[kBlake3CvLength], const Blake3Variant& variant);

// The hash or keyed hash of a message given in pieces. Belongs to one thread.
class Blake3Hasher {
 public:
  // The hash; the keyed hash with a 32-byte key. The processor's best kernel
  // unless a variant is given (`key` null for the hash).
  Blake3Hasher();
  explicit Blake3Hasher(const uint8_t key[kBlake3KeyLength]);
  Blake3Hasher(const uint8_t* key, const Blake3Variant& variant);

  // Starts a new message with the same key.
  void Reset();
  // Appends `count` bytes. Runs of whole chunks that more bytes follow go through
  // the kernel as complete subtrees, as many chunks at a time as the kernel has
  // lanes, straight from `bytes`; like Blake3HashSubtree, that takes at most about
  // 16 KiB of stack.
  void Update(const uint8_t* bytes, size_t count);
  // Appends a subtree hashed elsewhere (Blake3HashSubtree, with this hasher's key,
  // from chunk position() / 1024), as if its `chunk_count` * 1024 bytes had been
  // given to Update. Preconditions: `chunk_count` is a power of two no larger than
  // 2^53, and position() is a multiple of `chunk_count` * 1024; returns false and
  // changes nothing otherwise. At least one more byte must be appended after it
  // before Finalize.
  bool AppendSubtree(const uint8_t cv[kBlake3CvLength], uint64_t chunk_count);
  // The first `size` bytes of the output (32 by default; longer outputs are
  // BLAKE3's extendable output) of the message so far. Leaves the hasher as it
  // is: Update may go on. Returns false, writing nothing, when the message ends
  // with a subtree from AppendSubtree, whose chaining value cannot be a root's.
  bool Finalize(uint8_t* out, size_t size) const;

  // Bytes appended so far, subtrees included.
  uint64_t position() const { return chunk_counter_ * kBlake3ChunkLength + ChunkBytes(); }
  const Blake3Variant& variant() const { return variant_; }

 private:
  static constexpr size_t kBlockLength = 64;
  // One more than a chunk counter has bits: a subtree per set bit, and the one
  // pushed before they merge.
  static constexpr size_t kMostStacked = 65;

  size_t ChunkBytes() const { return blocks_done_ * kBlockLength + block_fill_; }
  // The current chunk's chaining value, its last block compressed (not a root).
  void CurrentChunkCv(uint32_t cv[8]) const;
  // Pushes a finished subtree of `chunk_count` chunks at `chunk_counter_` and
  // advances past it, merging the stack's complete pairs.
  void PushSubtree(const uint32_t cv[8], uint64_t chunk_count);
  // The current chunk is full and more bytes follow: its chaining value is final.
  void FinishFullChunk();
  // Hashes `chunk_count` whole chunks (at most a leaf's, more bytes after them)
  // from a chunk boundary as the complete subtrees they make; returns their bytes.
  size_t UpdateShortRun(const uint8_t* bytes, uint64_t chunk_count);

  const Blake3Variant& variant_;
  uint32_t key_[8];
  uint8_t flags_;
  uint32_t chunk_cv_[8];
  uint64_t chunk_counter_ = 0;
  uint8_t block_[kBlockLength];
  size_t block_fill_ = 0;
  size_t blocks_done_ = 0;
  uint32_t stack_[kMostStacked][8];
  size_t stacked_ = 0;
  bool ends_in_subtree_ = false;
};

}  // namespace telvarn
