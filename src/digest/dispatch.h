// Run-time dispatch: the variant tables of every kernel, and the one each table runs on this processor.
//
// A table lists its variants portable first, then in ascending order of the
// instruction sets they need. The active variant is the last one the processor
// supports, chosen once per process. Tests run every supported variant through
// the same checks; a context can also be built with a given variant.
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
struct KernelVariant {
  const char* name;
  Fn kernel;
  bool (*supported)(const CpuFeatures&);
};

template <class Fn>
struct VariantList {
  const KernelVariant<Fn>* begin_;
  const KernelVariant<Fn>* end_;
  const KernelVariant<Fn>* begin() const { return begin_; }
  const KernelVariant<Fn>* end() const { return end_; }
};

template <class Fn, size_t N>
VariantList<Fn> ListOf(const KernelVariant<Fn> (&variants)[N]) {
  return VariantList<Fn>{variants, variants + N};
}

// What each variant needs of the processor. A variant's predicate names every
// instruction set its file is compiled for.
inline bool Always(const CpuFeatures&) { return true; }
inline bool HasMmx(const CpuFeatures& cpu) { return cpu.mmx; }
inline bool HasSse2(const CpuFeatures& cpu) { return cpu.sse2; }
inline bool HasSsse3(const CpuFeatures& cpu) { return cpu.ssse3; }
inline bool HasAvx2(const CpuFeatures& cpu) { return cpu.avx2; }
inline bool HasAvx512(const CpuFeatures& cpu) { return cpu.avx512; }
inline bool HasAvx512Vbmi(const CpuFeatures& cpu) { return cpu.avx512 && cpu.avx512vbmi; }
inline bool HasPclmul(const CpuFeatures& cpu) { return cpu.pclmulqdq && cpu.sse41; }
inline bool HasVpclmulAvx2(const CpuFeatures& cpu) { return cpu.vpclmulqdq && cpu.avx2 && HasPclmul(cpu); }
inline bool HasVpclmulAvx512(const CpuFeatures& cpu) {
  return cpu.vpclmulqdq && cpu.avx512 && HasPclmul(cpu);
}
inline bool HasShaNi(const CpuFeatures& cpu) { return cpu.sha && cpu.ssse3 && cpu.sse41; }

// A table is a type naming its kernel's signature, its name in test and bench
// reports, and its rows.
struct Md5Kernels {
  using Fn = Md5BlockFn;
  static constexpr const char* kName = "md5";
  static VariantList<Fn> Variants();
};
struct Sha1Kernels {
  using Fn = Sha1BlockFn;
  static constexpr const char* kName = "sha1";
  static VariantList<Fn> Variants();
};
struct Sha256Kernels {
  using Fn = Sha256BlockFn;
  static constexpr const char* kName = "sha256";
  static VariantList<Fn> Variants();
};
struct Sha512Kernels {
  using Fn = Sha512BlockFn;
  static constexpr const char* kName = "sha512";
  static VariantList<Fn> Variants();
};
// The byte-table update is the reference; slicing-by-8 is what a processor
// without carry-less multiplication runs.
struct Crc32Kernels {
  using Fn = CrcUpdateFn;
  static constexpr const char* kName = "crc32";
  static VariantList<Fn> Variants();
};
struct Crc16Kernels {
  using Fn = CrcUpdateFn;
  static constexpr const char* kName = "crc16";
  static VariantList<Fn> Variants();
};

// The codec's tables, declared with its kernels in codec/base64_private.h.
struct Base64EncodeKernels;
struct Base64DecodeKernels;
struct TextLengthKernels;

template <class... Tables>
struct TableList {};

// Every table, for the tests and the bench that go over all of them.
using EveryKernelTable =
    TableList<Crc32Kernels, Crc16Kernels, Md5Kernels, Sha1Kernels, Sha256Kernels, Sha512Kernels,
              Base64EncodeKernels, Base64DecodeKernels, TextLengthKernels>;

using Md5Variant = KernelVariant<Md5BlockFn>;
using Sha1Variant = KernelVariant<Sha1BlockFn>;
using Sha256Variant = KernelVariant<Sha256BlockFn>;
using Sha512Variant = KernelVariant<Sha512BlockFn>;
using CrcVariant = KernelVariant<CrcUpdateFn>;

// The variant this process runs from `Table`: the first row (portable, always
// supported), overridden by each later row the processor supports.
template <class Table>
const KernelVariant<typename Table::Fn>& Active() {
  using Variant = KernelVariant<typename Table::Fn>;
  static const Variant& active = []() -> const Variant& {
    const Variant* chosen = Table::Variants().begin();
    for (const Variant& variant : Table::Variants()) {
      if (variant.supported(GetCpuFeatures())) chosen = &variant;
    }
    return *chosen;
  }();
  return active;
}

}  // namespace telvarn
