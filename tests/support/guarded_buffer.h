// A block of bytes between guard bytes, to see a write outside it; free of GoogleTest, so that the fuzz targets use it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace telvarn::test {

// `size` bytes holding `fill`, with `guard_bytes` bytes holding `guard` on each
// side, in a heap block of their own, so that the address sanitizer also sees a
// write past the guards.
class GuardedBuffer {
 public:
  GuardedBuffer(size_t size, size_t guard_bytes, uint8_t guard, uint8_t fill)
      : size_(size), guard_bytes_(guard_bytes), guard_(guard), block_(new uint8_t[size + 2 * guard_bytes]) {
    std::memset(block_.get(), guard, size + 2 * guard_bytes);
    std::memset(data(), fill, size);
  }

  uint8_t* data() { return block_.get() + guard_bytes_; }
  const uint8_t* data() const { return block_.get() + guard_bytes_; }
  char* chars() { return reinterpret_cast<char*>(data()); }
  size_t size() const { return size_; }
  // The block's text up to its first NUL.
  std::string text() const { return std::string(reinterpret_cast<const char*>(data())); }
  // The block's first `count` bytes.
  std::vector<uint8_t> head(size_t count) const { return std::vector<uint8_t>(data(), data() + count); }

  // Empty when the guards before the block hold, and every byte from the block's
  // `written`th to the end of the guards after it holds the guard byte (with
  // `written` left out: from the end of the block); otherwise where it was broken.
  std::string Damage() const { return Damage(size_); }
  std::string Damage(size_t written) const {
    for (size_t i = 0; i < guard_bytes_; ++i) {
      if (block_[i] != guard_) return "written " + std::to_string(guard_bytes_ - i) + " bytes before the block";
    }
    for (size_t i = guard_bytes_ + written; i < 2 * guard_bytes_ + size_; ++i) {
      if (block_[i] != guard_) {
        return "written at byte " + std::to_string(i - guard_bytes_) + " of a block of " + std::to_string(size_) +
               " that should hold its first " + std::to_string(written) + " only";
      }
    }
    return "";
  }

 private:
  size_t size_;
  size_t guard_bytes_;
  uint8_t guard_;
  std::unique_ptr<uint8_t[]> block_;
};

}  // namespace telvarn::test
