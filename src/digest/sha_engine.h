// The buffering and message completion that SHA-1, SHA-256 and SHA-512 share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace telvarn {

// Word: the state word (32 or 64 bits). Block: 64 or 128 bytes; the message
// length is appended in Block / 8 bytes (64 or 128 bits), most significant first.
template <class Word, size_t kStateWords, size_t kBlock>
class ShaEngine {
 public:
  using CompressFn = void (*)(Word* state, const uint8_t* data, size_t blocks);

  explicit ShaEngine(CompressFn compress) : compress_(compress) {}

  void Start(const Word (&initial)[kStateWords]) {
    std::memcpy(state_, initial, sizeof state_);
    bit_count_low_ = 0;
    bit_count_high_ = 0;
    fill_ = 0;
  }

  // Whole blocks are compressed straight from the caller's bytes; only the
  // partial blocks at either end pass through `block_`.
  void Absorb(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    const uint64_t added_bits = static_cast<uint64_t>(count) << 3;
    const uint64_t before = bit_count_low_;
    bit_count_low_ += added_bits;
    if (bit_count_low_ < before) ++bit_count_high_;
    if (sizeof(size_t) > 4) bit_count_high_ += static_cast<uint64_t>(count) >> 61;
    if (fill_ > 0) {
      size_t take = kBlock - fill_ < count ? kBlock - fill_ : count;
      std::memcpy(block_ + fill_, bytes, take);
      fill_ += static_cast<uint32_t>(take);
      bytes += take;
      count -= take;
      if (fill_ < kBlock) return;
      compress_(state_, block_, 1);
      fill_ = 0;
    }
    if (count >= kBlock) {
      compress_(state_, bytes, count / kBlock);
      bytes += count - count % kBlock;
      count %= kBlock;
    }
    std::memcpy(block_, bytes, count);
    fill_ = static_cast<uint32_t>(count);
  }

  // Appends 0x80, zeros up to the length field, and the message length in bits.
  void Complete() {
    constexpr size_t kLengthBytes = kBlock / 8;
    uint8_t length[kLengthBytes] = {};
    for (size_t i = 0; i < 8; ++i) {
      length[kLengthBytes - 1 - i] = static_cast<uint8_t>(bit_count_low_ >> (8 * i));
      if (kLengthBytes == 16) length[7 - i] = static_cast<uint8_t>(bit_count_high_ >> (8 * i));
    }
    static constexpr uint8_t kPadding[kBlock] = {0x80};
    const size_t pad = fill_ < kBlock - kLengthBytes ? kBlock - kLengthBytes - fill_
                                                     : 2 * kBlock - kLengthBytes - fill_;
    Absorb(kPadding, pad);
    Absorb(length, kLengthBytes);
  }

  const Word* state() const { return state_; }

 private:
  Word state_[kStateWords];
  uint64_t bit_count_low_ = 0;
  uint64_t bit_count_high_ = 0;
  uint8_t block_[kBlock];
  uint32_t fill_ = 0;
  CompressFn compress_;
};

}  // namespace telvarn
