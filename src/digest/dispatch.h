// Run-time dispatch: every kernel's signature and variant table, and the variant each table runs here.
//
// A table lists its variants portable first, then in ascending order of the
// instruction sets they need. The active variant is the last one the processor
// supports, chosen once per process. Tests run every supported variant through
// the same checks; a context can also be built with a given variant. The digest
// tables are filled in digest/dispatch.cpp, the codec's in codec/dispatch.cpp.
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
// Writes the Base64 text of `count` source bytes, with a CR LF after every 72
// characters and at the end when `lines`.
using Base64EncodeFn = void (*)(char* text, const uint8_t* source, size_t count, bool lines);
// Decodes text[0, length): a trimmed text (length > 0, its last character neither
// CR nor LF, no NUL inside) by the decoder's group rules, leaving off the last
// `drop` (0 to 2) bytes that the '=' tests take away. Returns the count written.
using Base64DecodeFn = size_t (*)(uint8_t* out, const char* text, size_t length, uint32_t drop);
// The count of bytes before the text's NUL.
using TextLengthFn = size_t (*)(const char* text);

template <class Fn>
struct KernelVariant {
  const char* name;
  Fn kernel;
  bool (*supported)(const CpuFeatures&);
};

// A table's name in test and bench reports, and its rows.
template <class Fn>
struct KernelTable {
  const char* name;
  const KernelVariant<Fn>* begin_;
  const KernelVariant<Fn>* end_;
  const KernelVariant<Fn>* begin() const { return begin_; }
  const KernelVariant<Fn>* end() const { return end_; }
};

template <class Fn, size_t N>
constexpr KernelTable<Fn> TableOf(const char* name, const KernelVariant<Fn> (&variants)[N]) {
  return KernelTable<Fn>{name, variants, variants + N};
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
inline bool HasBmi2Avx2(const CpuFeatures& cpu) { return cpu.bmi2 && cpu.avx2; }
inline bool HasBmi2Avx512(const CpuFeatures& cpu) { return cpu.bmi2 && cpu.avx512; }
inline bool HasShaNi(const CpuFeatures& cpu) { return cpu.sha && cpu.ssse3 && cpu.sse41; }

extern const KernelTable<Md5BlockFn> kMd5Kernels;
extern const KernelTable<Sha1BlockFn> kSha1Kernels;
extern const KernelTable<Sha256BlockFn> kSha256Kernels;
extern const KernelTable<Sha512BlockFn> kSha512Kernels;
// The byte-table update is the reference; slicing-by-8 is what a processor
// without carry-less multiplication runs.
extern const KernelTable<CrcUpdateFn> kCrc32Kernels;
extern const KernelTable<CrcUpdateFn> kCrc16Kernels;
extern const KernelTable<Base64EncodeFn> kBase64EncodeKernels;
extern const KernelTable<Base64DecodeFn> kBase64DecodeKernels;
// The encoder's scan of a source given as length 0 and the decoder's scan of its
// text. msvcrt's strlen (Wine's included) goes a byte per step, slower than the
// decoder itself.
extern const KernelTable<TextLengthFn> kTextLengthKernels;

template <const auto&... kTables>
struct TableList {};

// Every table, for the tests and the bench that go over all of them.
using EveryKernelTable = TableList<kCrc32Kernels, kCrc16Kernels, kMd5Kernels, kSha1Kernels, kSha256Kernels,
                                   kSha512Kernels, kBase64EncodeKernels, kBase64DecodeKernels,
                                   kTextLengthKernels>;

using Md5Variant = KernelVariant<Md5BlockFn>;
using Sha1Variant = KernelVariant<Sha1BlockFn>;
using Sha256Variant = KernelVariant<Sha256BlockFn>;
using Sha512Variant = KernelVariant<Sha512BlockFn>;
using CrcVariant = KernelVariant<CrcUpdateFn>;
using Base64EncodeVariant = KernelVariant<Base64EncodeFn>;
using Base64DecodeVariant = KernelVariant<Base64DecodeFn>;
using TextLengthVariant = KernelVariant<TextLengthFn>;

// The variant this process runs from `kTable`: the first row (portable, always
// supported), overridden by each later row the processor supports.
template <const auto& kTable>
const auto& Active() {
  static const auto& active = *[] {
    auto chosen = kTable.begin();
    for (auto variant = kTable.begin(); variant != kTable.end(); ++variant) {
      if (variant->supported(GetCpuFeatures())) chosen = variant;
    }
    return chosen;
  }();
  return active;
}

}  // namespace telvarn
