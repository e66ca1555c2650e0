// XXH3 (seed 0) of a stream, 64- and 128-bit, in the variant of xxHash's vector code that the processor runs or one given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/dispatch.h"

namespace telvarn {

// One stream: Update as often as wanted, then either digest, as often as wanted.
class Xxh3Context {
 public:
  Xxh3Context() : Xxh3Context(Active<kXxh3Kernels>()) {}
  explicit Xxh3Context(const Xxh3Variant& variant);
  Xxh3Context(const Xxh3Context&) = delete;
  Xxh3Context& operator=(const Xxh3Context&) = delete;

  void Update(const uint8_t* bytes, size_t count) { functions_.update(state_, bytes, count); }
  uint64_t Digest64() const { return functions_.digest64(state_); }
  // The high half in out[0], as the canonical form writes it first.
  void Digest128(uint64_t out[2]) const { functions_.digest128(state_, out); }
  const Xxh3Variant& variant() const { return variant_; }

 private:
  // xxHash's state (its XXH3_state_t) asks for 64-byte alignment. A member of that
  // alignment would make the jobs that hold a context over-aligned, and their
  // deleting destructors would then reach the aligned operator delete, which
  // mingw's C++ runtime builds on a C runtime function that the oldest supported
  // Windows lacks: the state lies here at the buffer's first 64-byte boundary.
  static constexpr size_t kStateBytes = 640;
  static constexpr size_t kStateAlign = 64;

  const Xxh3Variant& variant_;
  const Xxh3Functions& functions_;
  void* state_;
  unsigned char bytes_[kStateBytes + kStateAlign - 1];
};

}  // namespace telvarn
