// The variant tables and the one-time choice of each algorithm's block function.
#include "digest/block_functions.h"

#include "digest/crc_private.h"
#include "digest/md5_private.h"
#include "digest/sha_private.h"

namespace telvarn {
namespace {

using namespace crc_internal;
using namespace md5_internal;
using namespace sha_internal;

bool Always(const CpuFeatures&) { return true; }
[[maybe_unused]] bool HasMmx(const CpuFeatures& cpu) { return cpu.mmx; }
[[maybe_unused]] bool HasAvx2(const CpuFeatures& cpu) { return cpu.avx2; }
[[maybe_unused]] bool HasAvx512(const CpuFeatures& cpu) { return cpu.avx512; }
[[maybe_unused]] bool HasPclmul(const CpuFeatures& cpu) { return cpu.pclmulqdq && cpu.sse41; }
[[maybe_unused]] bool HasVpclmulAvx2(const CpuFeatures& cpu) {
  return cpu.vpclmulqdq && cpu.avx2 && HasPclmul(cpu);
}
[[maybe_unused]] bool HasVpclmulAvx512(const CpuFeatures& cpu) {
  return cpu.vpclmulqdq && cpu.avx512 && HasPclmul(cpu);
}
[[maybe_unused]] bool HasShaNi(const CpuFeatures& cpu) { return cpu.sha && cpu.ssse3 && cpu.sse41; }

const Md5Variant kMd5Variants[] = {
    {"portable", &Md5CompressPortable, &Always},
};

const Sha1Variant kSha1Variants[] = {
    {"portable", &Sha1CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"shani", &Sha1CompressShaNi, &HasShaNi},
#endif
};

const Sha256Variant kSha256Variants[] = {
    {"portable", &Sha256CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"shani", &Sha256CompressShaNi, &HasShaNi},
#endif
};

const Sha512Variant kSha512Variants[] = {
    {"portable", &Sha512CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"mmx", &Sha512CompressMmx, &HasMmx},
    {"avx2", &Sha512CompressAvx2, &HasAvx2},
    {"avx512", &Sha512CompressAvx512, &HasAvx512},
#endif
};

// The byte-table updates are the reference; slicing-by-8 is what a processor
// without carry-less multiplication runs.
const CrcVariant kCrc32Variants[] = {
    {"bytewise", &Crc32UpdateBytewise, &Always},
    {"slicing8", &Crc32UpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"pclmul", &Crc32UpdatePclmul, &HasPclmul},
    {"vpclmul_avx2", &Crc32UpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc32UpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
};

const CrcVariant kCrc16Variants[] = {
    {"bytewise", &Crc16UpdateBytewise, &Always},
    {"slicing8", &Crc16UpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"pclmul", &Crc16UpdatePclmul, &HasPclmul},
    {"vpclmul_avx2", &Crc16UpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc16UpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
};

}  // namespace

VariantList<Md5BlockFn> Md5Variants() { return ListOf(kMd5Variants); }
VariantList<Sha1BlockFn> Sha1Variants() { return ListOf(kSha1Variants); }
VariantList<Sha256BlockFn> Sha256Variants() { return ListOf(kSha256Variants); }
VariantList<Sha512BlockFn> Sha512Variants() { return ListOf(kSha512Variants); }
VariantList<CrcUpdateFn> Crc32Variants() { return ListOf(kCrc32Variants); }
VariantList<CrcUpdateFn> Crc16Variants() { return ListOf(kCrc16Variants); }

const Md5Variant& ActiveMd5() {
  static const Md5Variant& active = ChooseVariant(kMd5Variants);
  return active;
}

const Sha1Variant& ActiveSha1() {
  static const Sha1Variant& active = ChooseVariant(kSha1Variants);
  return active;
}

const Sha256Variant& ActiveSha256() {
  static const Sha256Variant& active = ChooseVariant(kSha256Variants);
  return active;
}

const Sha512Variant& ActiveSha512() {
  static const Sha512Variant& active = ChooseVariant(kSha512Variants);
  return active;
}

const CrcVariant& ActiveCrc32() {
  static const CrcVariant& active = ChooseVariant(kCrc32Variants);
  return active;
}

const CrcVariant& ActiveCrc16() {
  static const CrcVariant& active = ChooseVariant(kCrc16Variants);
  return active;
}

}  // namespace telvarn
