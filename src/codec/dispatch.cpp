// The variant tables of the Base64 encoder and decoder kernels and of the NUL scan.
#include "codec/dispatch.h"

#include "codec/base64_private.h"

namespace telvarn {
namespace {

using namespace base64_internal;

constexpr Base64EncodeVariant kEncodeVariants[] = {
    {"portable", &EncodePortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"ssse3", &EncodeSsse3, &HasSsse3},
    {"avx2", &EncodeAvx2, &HasAvx2},
    {"avx512vbmi", &EncodeAvx512Vbmi, &HasAvx512Vbmi},
#endif
};

constexpr Base64DecodeVariant kDecodeVariants[] = {
    {"portable", &DecodePortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"ssse3", &DecodeSsse3, &HasSsse3},
    {"avx2", &DecodeAvx2, &HasAvx2},
    {"avx512vbmi", &DecodeAvx512Vbmi, &HasAvx512Vbmi},
#endif
};

constexpr TextLengthVariant kTextLengthVariants[] = {
    {"portable", &TextLengthPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse2", &TextLengthSse2, &HasSse2},
#endif
};

}  // namespace

// constexpr, so that the tables hold their rows before any initialiser of the
// program runs: a kernel may be chosen from another file's static initialiser.
constexpr KernelTable<Base64EncodeFn> kBase64EncodeKernels = TableOf("base64-encode", kEncodeVariants);
constexpr KernelTable<Base64DecodeFn> kBase64DecodeKernels = TableOf("base64-decode", kDecodeVariants);
constexpr KernelTable<TextLengthFn> kTextLengthKernels = TableOf("text-length", kTextLengthVariants);

}  // namespace telvarn
