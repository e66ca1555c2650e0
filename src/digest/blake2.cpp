// BLAKE2b and BLAKE2s (RFC 7693): the parameter block, the buffering of the held-back last block, the results.
#include "digest/blake2.h"

#include <cstring>

#include "codec/hex.h"
#include "digest/blake2_private.h"

namespace telvarn {
namespace {

using blake2_internal::kBlake2bIv;
using blake2_internal::kBlake2sIv;

template <class Word>
const Word (&InitialValue())[8];
template <>
const uint64_t (&InitialValue<uint64_t>())[8] { return kBlake2bIv; }
template <>
const uint32_t (&InitialValue<uint32_t>())[8] { return kBlake2sIv; }

}  // namespace

template <class Traits>
Blake2Context<Traits>::Blake2Context(const Variant& variant, const uint8_t* key, size_t key_length)
    : compress_(variant.kernel) {
  const Word (&iv)[8] = InitialValue<Word>();
  for (size_t i = 0; i < 8; ++i) h_[i] = iv[i];
  // The parameter block's first word: digest length, key length, fanout 1, depth 1
  // (section 2.5); the others stay zero in sequential mode.
  h_[0] ^= static_cast<Word>(0x01010000u | (key_length << 8) | kDigestSize);
  if (key_length > 0) {
    // The key, zero-padded to a whole block, is the first block of the message.
    std::memcpy(buffer_, key, key_length);
    buffered_ = kBlockSize;
  }
}

template <class Traits>
void Blake2Context<Traits>::Update(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  const size_t room = kBlockSize - buffered_;
  if (count <= room) {
    std::memcpy(buffer_ + buffered_, bytes, count);
    buffered_ += count;
    return;
  }
  // More follows the buffer, so its block is not the last.
  std::memcpy(buffer_ + buffered_, bytes, room);
  compress_(h_, t_, buffer_, 1, false);
  bytes += room;
  count -= room;
  // Whole blocks straight from the input, keeping back at least one byte.
  const size_t direct = (count - 1) / kBlockSize;
  if (direct > 0) {
    compress_(h_, t_, bytes, direct, false);
    bytes += direct * kBlockSize;
    count -= direct * kBlockSize;
  }
  std::memcpy(buffer_, bytes, count);
  buffered_ = count;
}

template <class Traits>
void Blake2Context<Traits>::Finish() {
  t_[0] += static_cast<Word>(buffered_);
  if (t_[0] < buffered_) ++t_[1];
  std::memset(buffer_ + buffered_, 0, kBlockSize - buffered_);
  compress_(h_, t_, buffer_, 1, true);
  for (size_t i = 0; i < kDigestSize; ++i) digest_[i] = static_cast<uint8_t>(h_[i / sizeof(Word)] >> (8 * (i % sizeof(Word))));
  WriteBytesHex(digest_, kDigestSize, /*upper=*/false, hex_result_);
  hex_result_[kTextLength] = '\0';
  finished_ = true;
}

template <class Traits>
const uint8_t* Blake2Context<Traits>::Digest() {
  if (!finished_) Finish();
  return digest_;
}

template <class Traits>
const char* Blake2Context<Traits>::HexDigest() {
  if (!finished_) Finish();
  return hex_result_;
}

template class Blake2Context<Blake2bTraits>;
template class Blake2Context<Blake2sTraits>;

}  // namespace telvarn
