// The variant tables and the one-time choice of each algorithm's block function.
#include "digest/block_functions.h"

#include "digest/sha_private.h"

namespace telvarn {
namespace {

using namespace sha_internal;

bool Always(const CpuFeatures&) { return true; }
[[maybe_unused]] bool HasMmx(const CpuFeatures& cpu) { return cpu.mmx; }

const Sha1Variant kSha1Variants[] = {
    {"portable", &Sha1CompressPortable, &Always},
};

const Sha256Variant kSha256Variants[] = {
    {"portable", &Sha256CompressPortable, &Always},
};

const Sha512Variant kSha512Variants[] = {
    {"portable", &Sha512CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"mmx", &Sha512CompressMmx, &HasMmx},
#endif
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

VariantList<Sha1BlockFn> Sha1Variants() { return List(kSha1Variants); }
VariantList<Sha256BlockFn> Sha256Variants() { return List(kSha256Variants); }
VariantList<Sha512BlockFn> Sha512Variants() { return List(kSha512Variants); }

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

}  // namespace telvarn
