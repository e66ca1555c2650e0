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
#endif
};

// The byte-table updates are the reference; slicing-by-8 is what a processor
// without carry-less multiplication runs.
const CrcVariant kCrc32Variants[] = {
    {"bytewise", &Crc32UpdateBytewise, &Always},
    {"slicing8", &Crc32UpdateSlicing8, &Always},
};

const CrcVariant kCrc16Variants[] = {
    {"bytewise", &Crc16UpdateBytewise, &Always},
    {"slicing8", &Crc16UpdateSlicing8, &Always},
};

template <class Fn, size_t N>
VariantList<Fn> List(const BlockVariant<Fn> (&variants)[N]) {
  return VariantList<Fn>{variants, variants + N};
}

// The portable entry first, overridden by each later entry the processor supports.
template <class Fn, size_t N>
const BlockVariant<Fn>& Choose(const BlockVariant<Fn> (&variants)[N]) {
  const BlockVariant<Fn>* chosen = &variants[0];
  for (const auto& variant : variants) {
    if (variant.supported(GetCpuFeatures())) chosen = &variant;
  }
  return *chosen;
}

}  // namespace

VariantList<Md5BlockFn> Md5Variants() { return List(kMd5Variants); }
VariantList<Sha1BlockFn> Sha1Variants() { return List(kSha1Variants); }
VariantList<Sha256BlockFn> Sha256Variants() { return List(kSha256Variants); }
VariantList<Sha512BlockFn> Sha512Variants() { return List(kSha512Variants); }
VariantList<CrcUpdateFn> Crc32Variants() { return List(kCrc32Variants); }
VariantList<CrcUpdateFn> Crc16Variants() { return List(kCrc16Variants); }

const Md5Variant& ActiveMd5() {
  static const Md5Variant& active = Choose(kMd5Variants);
  return active;
}

const Sha1Variant& ActiveSha1() {
  static const Sha1Variant& active = Choose(kSha1Variants);
  return active;
}

const Sha256Variant& ActiveSha256() {
  static const Sha256Variant& active = Choose(kSha256Variants);
  return active;
}

const Sha512Variant& ActiveSha512() {
  static const Sha512Variant& active = Choose(kSha512Variants);
  return active;
}

const CrcVariant& ActiveCrc32() {
  static const CrcVariant& active = Choose(kCrc32Variants);
  return active;
}

const CrcVariant& ActiveCrc16() {
  static const CrcVariant& active = Choose(kCrc16Variants);
  return active;
}

}  // namespace telvarn
