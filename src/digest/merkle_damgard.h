// The buffering and message completion that MD5, SHA-1, SHA-256 and SHA-512 share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace telvarn {

// The byte order of the message length that closes the padding: MD5 stores it
// least significant byte first, the SHA family most significant first.
enum class LengthOrder { kLittleEndian, kBigEndian };

// Word: the state word (32 or 64 bits). Block: 64 or 128 bytes; the message
// length in bits is appended in Block / 8 bytes (64 or 128 bits).
template <class Word, size_t kStateWords, size_t kBlock, LengthOrder kOrder>
class MerkleDamgard {
 public:
  using CompressFn = void (*)(Word* state, const uint8_t* data, size_t blocks);

  explicit MerkleDamgard(CompressFn compress) : compress_(compress) {}

  void Start(const Word (&initial)[kStateWords]) {
    std::memcpy(state_, initial, sizeof state_);
    byte_count_ = 0;
  }

  // Whole blocks are compressed straight from the caller's bytes; only the
  // partial blocks at either end pass through `block_`.
  void Absorb(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    const auto fill = static_cast<size_t>(byte_count_ % kBlock);
    byte_count_ += count;
    if (fill > 0) {
      const size_t take = kBlock - fill < count ? kBlock - fill : count;
      std::memcpy(block_ + fill, bytes, take);
      if (fill + take < kBlock) return;
      compress_(state_, block_, 1);
      bytes += take;
      count -= take;
    }
    if (count >= kBlock) {
      compress_(state_, bytes, count / kBlock);
      bytes += count - count % kBlock;
      count %= kBlock;
    }
    std::memcpy(block_, bytes, count);
  }

  // Appends 0x80, zeros up to the length field, and the message length in bits.
  // The bytes counted so far are fewer than 2^64, so a 128-bit length has at most
  // three bits above the low 64.
  void Complete() {
    constexpr size_t kLengthBytes = kBlock / 8;
    const uint64_t bits_low = byte_count_ << 3;
    const uint64_t bits_high = byte_count_ >> 61;
    uint8_t length[kLengthBytes] = {};
    for (size_t i = 0; i < 8; ++i) {
      const auto low_byte = static_cast<uint8_t>(bits_low >> (8 * i));
      if constexpr (kOrder == LengthOrder::kLittleEndian) {
        length[i] = low_byte;
        if constexpr (kLengthBytes == 16) length[8 + i] = static_cast<uint8_t>(bits_high >> (8 * i));
      } else {
        length[kLengthBytes - 1 - i] = low_byte;
        if constexpr (kLengthBytes == 16) length[7 - i] = static_cast<uint8_t>(bits_high >> (8 * i));
      }
    }
    static constexpr uint8_t kPadding[kBlock] = {0x80};
    const auto fill = static_cast<size_t>(byte_count_ % kBlock);
    const size_t pad = fill < kBlock - kLengthBytes ? kBlock - kLengthBytes - fill
                                                    : 2 * kBlock - kLengthBytes - fill;
    Absorb(kPadding, pad);
    Absorb(length, kLengthBytes);
  }

  const Word* state() const { return state_; }

 private:
  Word state_[kStateWords];
  // Bytes absorbed, modulo 2^64; the fill of `block_` is its remainder by kBlock.
  uint64_t byte_count_ = 0;
  uint8_t block_[kBlock];
  CompressFn compress_;
};

}  // namespace telvarn
