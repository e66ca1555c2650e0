// The block functions of the SHA digests: every variant, and the one chosen for this CPU.
//
// Each algorithm lists its variants portable first, then in ascending order of the
// instruction sets they need. The active variant is the last one the processor
// supports, chosen once per process. Tests run every available variant through
// the same vectors; a context can also be built with a given variant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/cpu_features.h"

namespace telvarn {

// Compress `blocks` consecutive blocks (64 bytes for SHA-1/256, 128 for SHA-512).
using Sha1BlockFn = void (*)(uint32_t state[5], const uint8_t* data, size_t blocks);
using Sha256BlockFn = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);
using Sha512BlockFn = void (*)(uint64_t state[8], const uint8_t* data, size_t blocks);

template <class Fn>
struct BlockVariant {
  const char* name;
  Fn compress;
  bool (*supported)(const CpuFeatures&);
};

using Sha1Variant = BlockVariant<Sha1BlockFn>;
using Sha256Variant = BlockVariant<Sha256BlockFn>;
using Sha512Variant = BlockVariant<Sha512BlockFn>;

template <class Fn>
struct VariantList {
  const BlockVariant<Fn>* begin_;
  const BlockVariant<Fn>* end_;
  const BlockVariant<Fn>* begin() const { return begin_; }
  const BlockVariant<Fn>* end() const { return end_; }
};

VariantList<Sha1BlockFn> Sha1Variants();
VariantList<Sha256BlockFn> Sha256Variants();
VariantList<Sha512BlockFn> Sha512Variants();

// The variants this process uses.
const Sha1Variant& ActiveSha1();
const Sha256Variant& ActiveSha256();
const Sha512Variant& ActiveSha512();

}  // namespace telvarn
