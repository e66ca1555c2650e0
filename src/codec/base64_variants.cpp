// The Base64 variant tables and the one-time choice of the encoder and decoder kernels.
#include "codec/base64_private.h"

namespace telvarn {
namespace {

using namespace base64_internal;

bool Always(const CpuFeatures&) { return true; }
[[maybe_unused]] bool HasSsse3(const CpuFeatures& cpu) { return cpu.ssse3; }
[[maybe_unused]] bool HasAvx2(const CpuFeatures& cpu) { return cpu.avx2; }
[[maybe_unused]] bool HasAvx512Vbmi(const CpuFeatures& cpu) { return cpu.avx512 && cpu.avx512vbmi; }

const Base64EncodeVariant kEncodeVariants[] = {
    {"portable", &EncodePortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"ssse3", &EncodeSsse3, &HasSsse3},
    {"avx2", &EncodeAvx2, &HasAvx2},
    {"avx512vbmi", &EncodeAvx512Vbmi, &HasAvx512Vbmi},
#endif
};

const Base64DecodeVariant kDecodeVariants[] = {
    {"portable", &DecodePortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"ssse3", &DecodeSsse3, &HasSsse3},
    {"avx2", &DecodeAvx2, &HasAvx2},
    {"avx512vbmi", &DecodeAvx512Vbmi, &HasAvx512Vbmi},
#endif
};

}  // namespace

VariantList<Base64EncodeFn> Base64EncodeVariants() {
  return ListOf(kEncodeVariants);
}

VariantList<Base64DecodeFn> Base64DecodeVariants() {
  return ListOf(kDecodeVariants);
}

const Base64EncodeVariant& ActiveBase64Encode() {
  static const Base64EncodeVariant& active = ChooseVariant(kEncodeVariants);
  return active;
}

const Base64DecodeVariant& ActiveBase64Decode() {
  static const Base64DecodeVariant& active = ChooseVariant(kDecodeVariants);
  return active;
}

}  // namespace telvarn
