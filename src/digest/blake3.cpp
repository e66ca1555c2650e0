// The BLAKE3 hasher: the current chunk, the stack of finished subtrees' chaining values, the root output, and complete subtrees through the kernel.
#include "digest/blake3.h"

#include <cstring>
#include <utility>

#include "digest/blake3_private.h"

namespace telvarn {

using namespace blake3_internal;

namespace {

// The chunks hashed in one kernel call, then merged pairwise by parent calls; a
// larger subtree is split in halves down to this. Two buffers of this many
// chaining values live on the stack.
constexpr uint64_t kLeafChunks = 128;

void KeyWords(const uint8_t* key, uint32_t words[8]) {
  for (int w = 0; w < 8; ++w) words[w] = key != nullptr ? LoadWord(key + 4 * w) : kIv[w];
}

void CvToBytes(const uint32_t cv[8], uint8_t bytes[kCvLength]) {
  for (int w = 0; w < 8; ++w) StoreWord(bytes + 4 * w, cv[w]);
}

void CvFromBytes(const uint8_t bytes[kCvLength], uint32_t cv[8]) {
  for (int w = 0; w < 8; ++w) cv[w] = LoadWord(bytes + 4 * w);
}

// The parent of two chaining values, not a root.
void ParentCv(const uint32_t left[8], const uint32_t right[8], const uint32_t key[8], uint8_t flags,
              uint32_t cv[8]) {
  uint8_t block[kBlockLength];
  CvToBytes(left, block);
  CvToBytes(right, block + kCvLength);
  for (int w = 0; w < 8; ++w) cv[w] = key[w];
  CompressInPlace(cv, block, kBlockLength, 0, flags | kParent);
}

// Merges `count` (a power of two) chaining values at `cvs` pairwise, a level per
// kernel call, into one; `scratch` holds count / 2 of them.
void MergeLevels(Blake3HashManyFn kernel, uint8_t* cvs, size_t count, uint8_t* scratch, const uint32_t key[8],
                 uint8_t flags, uint32_t cv[8]) {
  uint8_t* from = cvs;
  uint8_t* to = scratch;
  for (size_t width = count; width > 1; width /= 2) {
    kernel(from, width / 2, 1, key, 0, false, flags | kParent, 0, 0, to);
    std::swap(from, to);
  }
  CvFromBytes(from, cv);
}

void SubtreeCv(Blake3HashManyFn kernel, const uint8_t* chunks, uint64_t chunk_count, uint64_t first_chunk,
               const uint32_t key[8], uint8_t flags, uint32_t cv[8]) {
  if (chunk_count > kLeafChunks) {
    const uint64_t half = chunk_count / 2;
    uint32_t left[8];
    uint32_t right[8];
    SubtreeCv(kernel, chunks, half, first_chunk, key, flags, left);
    SubtreeCv(kernel, chunks + half * kChunkLength, half, first_chunk + half, key, flags, right);
    ParentCv(left, right, key, flags, cv);
    return;
  }
  uint8_t level[2][kLeafChunks * kCvLength];
  const size_t count = static_cast<size_t>(chunk_count);
  kernel(chunks, count, kBlocksPerChunk, key, first_chunk, true, flags, kChunkStart, kChunkEnd, level[0]);
  MergeLevels(kernel, level[0], count, level[1], key, flags, cv);
}

bool IsPowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

uint64_t HighestPowerOfTwoIn(uint64_t n) {
  uint64_t power = 1;
  while (power <= n / 2) power *= 2;
  return power;
}

size_t SetBits(uint64_t n) {
  size_t bits = 0;
  for (; n != 0; n &= n - 1) ++bits;
  return bits;
}

}  // namespace

bool Blake3HashSubtree(const uint8_t* chunks, uint64_t chunk_count, uint64_t first_chunk, const uint8_t* key,
                       uint8_t cv[kBlake3CvLength]) {
  return Blake3HashSubtree(chunks, chunk_count, first_chunk, key, cv, Active<kBlake3Kernels>());
}

bool Blake3HashSubtree(const uint8_t* chunks, uint64_t chunk_count, uint64_t first_chunk, const uint8_t* key,
                       uint8_t cv[kBlake3CvLength], const Blake3Variant& variant) {
  if (!IsPowerOfTwo(chunk_count) || first_chunk % chunk_count != 0) return false;
  uint32_t key_words[8];
  KeyWords(key, key_words);
  uint32_t words[8];
  SubtreeCv(variant.kernel, chunks, chunk_count, first_chunk, key_words, key != nullptr ? kKeyedHash : 0, words);
  CvToBytes(words, cv);
  return true;
}

Blake3Hasher::Blake3Hasher() : Blake3Hasher(nullptr, Active<kBlake3Kernels>()) {}

Blake3Hasher::Blake3Hasher(const uint8_t key[kBlake3KeyLength]) : Blake3Hasher(key, Active<kBlake3Kernels>()) {}

Blake3Hasher::Blake3Hasher(const uint8_t* key, const Blake3Variant& variant)
    : variant_(variant), flags_(key != nullptr ? kKeyedHash : 0) {
  KeyWords(key, key_);
  Reset();
}

void Blake3Hasher::Reset() {
  std::memcpy(chunk_cv_, key_, sizeof chunk_cv_);
  chunk_counter_ = 0;
  block_fill_ = 0;
  blocks_done_ = 0;
  stacked_ = 0;
  ends_in_subtree_ = false;
}

void Blake3Hasher::CurrentChunkCv(uint32_t cv[8]) const {
  uint8_t block[kBlockLength] = {};
  std::memcpy(block, block_, block_fill_);
  std::memcpy(cv, chunk_cv_, sizeof chunk_cv_);
  const uint8_t start = blocks_done_ == 0 ? kChunkStart : 0;
  CompressInPlace(cv, block, static_cast<uint32_t>(block_fill_), chunk_counter_, flags_ | start | kChunkEnd);
}

void Blake3Hasher::PushSubtree(const uint32_t cv[8], uint64_t chunk_count) {
  std::memcpy(stack_[stacked_++], cv, sizeof stack_[0]);
  chunk_counter_ += chunk_count;
  // Each set bit of the chunk count is one complete subtree on the stack; every
  // pushed node has bytes after it, so no merge makes a root.
  while (stacked_ > SetBits(chunk_counter_)) {
    ParentCv(stack_[stacked_ - 2], stack_[stacked_ - 1], key_, flags_, stack_[stacked_ - 2]);
    --stacked_;
  }
  std::memcpy(chunk_cv_, key_, sizeof chunk_cv_);
  block_fill_ = 0;
  blocks_done_ = 0;
}

void Blake3Hasher::FinishFullChunk() {
  uint32_t cv[8];
  CurrentChunkCv(cv);
  PushSubtree(cv, 1);
}

size_t Blake3Hasher::UpdateShortRun(const uint8_t* bytes, uint64_t chunk_count) {
  // A few whole chunks, or chunks that start at a counter with few factors of
  // two, make several small subtrees: one kernel call for all their chunks
  // fills the lanes that a call per subtree would leave idle.
  uint8_t level[2][kLeafChunks * kCvLength];
  const size_t count = static_cast<size_t>(chunk_count);
  variant_.kernel(bytes, count, kBlocksPerChunk, key_, chunk_counter_, true, flags_, kChunkStart, kChunkEnd,
                  level[0]);
  size_t done = 0;
  while (done < count) {
    uint64_t chunks = HighestPowerOfTwoIn(count - done);
    while (chunk_counter_ % chunks != 0) chunks /= 2;
    uint32_t cv[8];
    MergeLevels(variant_.kernel, level[0] + done * kCvLength, static_cast<size_t>(chunks), level[1], key_, flags_,
                cv);
    PushSubtree(cv, chunks);
    done += static_cast<size_t>(chunks);
  }
  return count * kChunkLength;
}

void Blake3Hasher::Update(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  ends_in_subtree_ = false;
  while (count > 0) {
    if (ChunkBytes() == kChunkLength) FinishFullChunk();
    if (ChunkBytes() == 0 && count > kChunkLength) {
      // The largest complete subtree that starts here and leaves a byte after it.
      const uint64_t whole_chunks = uint64_t{(count - 1) / kChunkLength};
      uint64_t chunks = HighestPowerOfTwoIn(whole_chunks);
      while (chunk_counter_ % chunks != 0) chunks /= 2;
      if (chunks >= kLeafChunks) {
        uint32_t cv[8];
        SubtreeCv(variant_.kernel, bytes, chunks, chunk_counter_, key_, flags_, cv);
        PushSubtree(cv, chunks);
        bytes += chunks * kChunkLength;
        count -= static_cast<size_t>(chunks * kChunkLength);
      } else {
        const size_t taken = UpdateShortRun(bytes, whole_chunks < kLeafChunks ? whole_chunks : kLeafChunks);
        bytes += taken;
        count -= taken;
      }
      continue;
    }
    // Into the current chunk; a full block is compressed only once a byte
    // follows it in the chunk, since the chunk's last block is compressed apart.
    const size_t room = kChunkLength - ChunkBytes();
    size_t take = count < room ? count : room;
    count -= take;
    while (take > 0) {
      if (block_fill_ == kBlockLength) {
        const uint8_t start = blocks_done_ == 0 ? kChunkStart : 0;
        CompressInPlace(chunk_cv_, block_, kBlockLength, chunk_counter_, flags_ | start);
        ++blocks_done_;
        block_fill_ = 0;
      }
      const size_t piece = take < kBlockLength - block_fill_ ? take : kBlockLength - block_fill_;
      std::memcpy(block_ + block_fill_, bytes, piece);
      block_fill_ += piece;
      bytes += piece;
      take -= piece;
    }
  }
}

bool Blake3Hasher::AppendSubtree(const uint8_t cv[kBlake3CvLength], uint64_t chunk_count) {
  constexpr uint64_t kMostChunks = uint64_t{1} << 53;
  if (!IsPowerOfTwo(chunk_count) || chunk_count > kMostChunks || position() % (chunk_count * kChunkLength) != 0) {
    return false;
  }
  if (ChunkBytes() == kChunkLength) FinishFullChunk();
  uint32_t words[8];
  CvFromBytes(cv, words);
  PushSubtree(words, chunk_count);
  ends_in_subtree_ = true;
  return true;
}

bool Blake3Hasher::Finalize(uint8_t* out, size_t size) const {
  if (ends_in_subtree_) return false;
  // The root node: its input chaining value, block, length and flags (a root chunk is
  // chunk 0; the counter of a root's compression numbers its output blocks).
  uint32_t input_cv[8];
  uint8_t block[kBlockLength] = {};
  uint32_t block_length = kBlockLength;
  uint8_t flags = flags_;
  if (stacked_ == 0) {
    std::memcpy(input_cv, chunk_cv_, sizeof input_cv);
    std::memcpy(block, block_, block_fill_);
    block_length = static_cast<uint32_t>(block_fill_);
    flags |= (blocks_done_ == 0 ? kChunkStart : 0) | kChunkEnd;
  } else {
    uint32_t right[8];
    CurrentChunkCv(right);
    for (size_t i = stacked_ - 1; i > 0; --i) ParentCv(stack_[i], right, key_, flags_, right);
    CvToBytes(stack_[0], block);
    CvToBytes(right, block + kCvLength);
    std::memcpy(input_cv, key_, sizeof input_cv);
    flags |= kParent;
  }
  // Output block k is the root compressed with the counter k.
  for (uint64_t output_block = 0; size > 0; ++output_block) {
    uint32_t state[16];
    CompressRounds(state, input_cv, block, block_length, output_block, flags | kRoot);
    uint8_t bytes[kBlockLength];
    for (int w = 0; w < 8; ++w) {
      StoreWord(bytes + 4 * w, state[w] ^ state[w + 8]);
      StoreWord(bytes + 32 + 4 * w, state[w + 8] ^ input_cv[w]);
    }
    const size_t piece = size < kBlockLength ? size : kBlockLength;
    std::memcpy(out, bytes, piece);
    out += piece;
    size -= piece;
  }
  return true;
}

}  // namespace telvarn
