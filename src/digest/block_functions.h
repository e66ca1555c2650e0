// The block functions of the digests and checksums: every variant, and the one chosen for this CPU.
//
// Each algorithm lists its variants portable first, then in ascending order of the
// instruction sets they need. The active variant is the last one the processor
// supports, chosen once per process. Tests run every available variant through
// the same vectors; a context can also be built with a given variant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/x86/cpu_features.h"

namespace telvarn {

// Compress `blocks` consecutive blocks (64 bytes for MD5 and SHA-1/256, 128 for SHA-512).
using Md5BlockFn = void (*)(uint32_t state[4], const uint8_t* data, size_t blocks);
using Sha1BlockFn = void (*)(uint32_t state[5], const uint8_t* data, size_t blocks);
using Sha256BlockFn = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);
using Sha512BlockFn = void (*)(uint64_t state[8], const uint8_t* data, size_t blocks);
// Advance a reflected CRC register over `count` bytes: the register as it stands
// (no initial or final inversion), the low 16 bits for CRC-16.
using CrcUpdateFn = uint32_t (*)(uint32_t crc, const uint8_t* data, size_t count);

template <class Fn>
struct BlockVariant {
  const char* name;
  Fn compress;
  bool (*supported)(const CpuFeatures&);
};

using Md5Variant = BlockVariant<Md5BlockFn>;
using Sha1Variant = BlockVariant<Sha1BlockFn>;
using Sha256Variant = BlockVariant<Sha256BlockFn>;
using Sha512Variant = BlockVariant<Sha512BlockFn>;
using CrcVariant = BlockVariant<CrcUpdateFn>;

template <class Fn>
struct VariantList {
  const BlockVariant<Fn>* begin_;
  const BlockVariant<Fn>* end_;
  const BlockVariant<Fn>* begin() const { return begin_; }
  const BlockVariant<Fn>* end() const { return end_; }
};

template <class Fn, size_t N>
VariantList<Fn> ListOf(const BlockVariant<Fn> (&variants)[N]) {
  return VariantList<Fn>{variants, variants + N};
}

// The first entry (portable, always supported), overridden by each later entry the
// processor supports.
template <class Fn, size_t N>
const BlockVariant<Fn>& ChooseVariant(const BlockVariant<Fn> (&variants)[N]) {
  const BlockVariant<Fn>* chosen = &variants[0];
  for (const auto& variant : variants) {
    if (variant.supported(GetCpuFeatures())) chosen = &variant;
  }
  return *chosen;
}

VariantList<Md5BlockFn> Md5Variants();
VariantList<Sha1BlockFn> Sha1Variants();
VariantList<Sha256BlockFn> Sha256Variants();
VariantList<Sha512BlockFn> Sha512Variants();
VariantList<CrcUpdateFn> Crc32Variants();
VariantList<CrcUpdateFn> Crc16Variants();

// The variants this process uses.
const Md5Variant& ActiveMd5();
const Sha1Variant& ActiveSha1();
const Sha256Variant& ActiveSha256();
const Sha512Variant& ActiveSha512();
const CrcVariant& ActiveCrc32();
const CrcVariant& ActiveCrc16();

}  // namespace telvarn
