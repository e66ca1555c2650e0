// The variant tables of the digest block functions and the CRC updates.
#include "digest/dispatch.h"

#include "digest/blake2_private.h"
#include "digest/blake3_private.h"
#include "digest/crc_private.h"
#include "digest/keccak_private.h"
#include "digest/md5_private.h"
#include "digest/sha_private.h"
#include "digest/xxh3_private.h"

namespace telvarn {
namespace {

using namespace blake2_internal;
using namespace blake3_internal;
using namespace crc_internal;
using namespace keccak_internal;
using namespace md5_internal;
using namespace sha_internal;
using namespace xxh3_internal;

constexpr Md5Variant kMd5Variants[] = {
    {"portable", &Md5CompressPortable, &Always},
};

constexpr Sha1Variant kSha1Variants[] = {
    {"portable", &Sha1CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"shani", &Sha1CompressShaNi, &HasShaNi},
#endif
};

constexpr Sha256Variant kSha256Variants[] = {
    {"portable", &Sha256CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"shani", &Sha256CompressShaNi, &HasShaNi},
#endif
};

constexpr Blake2bVariant kBlake2bVariants[] = {
    {"portable", &Blake2bCompressPortable, &Always},
#if defined(__i386__)
    // In 64-bit mode the portable form in general registers is faster: the AVX2
    // rows are for the 32-bit build, where each 64-bit word would take two.
    {"avx2", &Blake2bCompressAvx2, &HasAvx2},
#endif
};

constexpr Blake2sVariant kBlake2sVariants[] = {
    {"portable", &Blake2sCompressPortable, &Always},
};

constexpr Sha512Variant kSha512Variants[] = {
    {"portable", &Sha512CompressPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"mmx", &Sha512CompressMmx, &HasMmx},
    {"sse2", &Sha512CompressSse2, &HasSse2},
    {"avx2", &Sha512CompressAvx2, &HasAvx2},
    {"avx512", &Sha512CompressAvx512, &HasAvx512},
#endif
#if defined(__x86_64__)
    // The forms shaped for 64-bit mode come after all the 32-bit ones: in 64-bit
    // mode either beats every 32-bit form, so it wins wherever the processor has
    // what it needs.
    {"bmi2_avx2", &Sha512CompressBmi2Avx2, &HasBmi2Avx2},
    {"bmi2_avx512", &Sha512CompressBmi2Avx512, &HasBmi2Avx512},
#endif
};

constexpr KeccakVariant kKeccakVariants[] = {
    {"portable", &KeccakAbsorbPortable, &Always},
#if defined(__i386__)
    // In 64-bit mode the portable form in general registers is faster: the SSE2
    // form is for the 32-bit build, where a lane would take two registers.
    {"sse2", &KeccakAbsorbSse2, &HasSse2},
#endif
#if defined(__x86_64__)
    // Shaped for 64-bit mode: the lanes in the sixteen general registers, or in
    // the thirty-two vector registers of AVX-512.
    {"bmi2", &KeccakAbsorbBmi2, &HasBmi1Bmi2},
    {"avx512", &KeccakAbsorbAvx512, &HasAvx512},
#endif
};

constexpr CrcVariant kCrc32Variants[] = {
    {"bytewise", &Crc32UpdateBytewise, &Always},
    {"slicing8", &Crc32UpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"pclmul", &Crc32UpdatePclmul, &HasPclmul},
    {"vpclmul_avx2", &Crc32UpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc32UpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
#if defined(__x86_64__)
    // The same instructions as the row before, shaped for 64-bit mode; the last
    // row asks for the lines ahead, which pays only where the hardware prefetcher
    // falls behind the fold (measured on AMD Zen 5; on Zen 4 it costs a fifth).
    {"vpclmul_avx512_wide", &Crc32UpdateVpclmulAvx512Wide, &HasVpclmulAvx512},
    {"vpclmul_avx512_wide_prefetch", &Crc32UpdateVpclmulAvx512WidePrefetch, &HasVpclmulAvx512, &IsAmdFamily1Ah},
#endif
};

// The CRC32 instruction over three streams takes eight bytes a cycle, twice what
// folding one block per PCLMULQDQ does, and every processor with PCLMULQDQ has it:
// CRC-32C has no plain PCLMULQDQ row. The folds win where VPCLMULQDQ multiplies
// several blocks per instruction.
constexpr CrcVariant kCrc32cVariants[] = {
    {"bytewise", &Crc32cUpdateBytewise, &Always},
    {"slicing8", &Crc32cUpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse42", &Crc32cUpdateSse42, &HasSse42Pclmul},
    {"vpclmul_avx2", &Crc32cUpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc32cUpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
#if defined(__x86_64__)
    {"vpclmul_avx512_wide", &Crc32cUpdateVpclmulAvx512Wide, &HasVpclmulAvx512},
    {"vpclmul_avx512_wide_prefetch", &Crc32cUpdateVpclmulAvx512WidePrefetch, &HasVpclmulAvx512, &IsAmdFamily1Ah},
#endif
};

constexpr CrcVariant kCrc16Variants[] = {
    {"bytewise", &Crc16UpdateBytewise, &Always},
    {"slicing8", &Crc16UpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"pclmul", &Crc16UpdatePclmul, &HasPclmul},
    {"vpclmul_avx2", &Crc16UpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc16UpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
#if defined(__x86_64__)
    {"vpclmul_avx512_wide", &Crc16UpdateVpclmulAvx512Wide, &HasVpclmulAvx512},
    {"vpclmul_avx512_wide_prefetch", &Crc16UpdateVpclmulAvx512WidePrefetch, &HasVpclmulAvx512, &IsAmdFamily1Ah},
#endif
};

constexpr Crc64Variant kCrc64Variants[] = {
    {"bytewise", &Crc64UpdateBytewise, &Always},
    {"slicing8", &Crc64UpdateSlicing8, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"pclmul", &Crc64UpdatePclmul, &HasPclmul},
    {"vpclmul_avx2", &Crc64UpdateVpclmulAvx2, &HasVpclmulAvx2},
    {"vpclmul_avx512", &Crc64UpdateVpclmulAvx512, &HasVpclmulAvx512},
#endif
#if defined(__x86_64__)
    {"vpclmul_avx512_wide", &Crc64UpdateVpclmulAvx512Wide, &HasVpclmulAvx512},
    {"vpclmul_avx512_wide_prefetch", &Crc64UpdateVpclmulAvx512WidePrefetch, &HasVpclmulAvx512, &IsAmdFamily1Ah},
#endif
};

// SSSE3's byte shuffle rotates; the files are compiled for SSE4.1, which has it.
bool HasSse41(const CpuFeatures& cpu) { return cpu.ssse3 && cpu.sse41; }

// One input per 32-bit lane: 4, 8 and 16 chunks (or parents) at a time.
constexpr Blake3Variant kBlake3Variants[] = {
    {"portable", &HashManyPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse41", &HashManySse41, &HasSse41},
    {"avx2", &HashManyAvx2, &HasAvx2},
    {"avx512", &HashManyAvx512, &HasAvx512},
#endif
};

// xxHash's own vector forms; its SSE2 form is the x86-64 baseline's, which the
// i686 baseline lacks.
constexpr Xxh3Variant kXxh3Variants[] = {
    {"scalar", &kXxh3Scalar, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse2", &kXxh3Sse2, &HasSse2},
    {"avx2", &kXxh3Avx2, &HasAvx2},
    {"avx512", &kXxh3Avx512, &HasAvx512},
#endif
};

}  // namespace

// constexpr, so that the tables hold their rows before any initialiser of the
// program runs: a kernel may be chosen from another file's static initialiser.
constexpr KernelTable<Md5BlockFn> kMd5Kernels = TableOf("md5", kMd5Variants);
constexpr KernelTable<Sha1BlockFn> kSha1Kernels = TableOf("sha1", kSha1Variants);
constexpr KernelTable<Sha256BlockFn> kSha256Kernels = TableOf("sha256", kSha256Variants);
constexpr KernelTable<Sha512BlockFn> kSha512Kernels = TableOf("sha512", kSha512Variants);
constexpr KernelTable<KeccakAbsorbFn> kKeccakKernels = TableOf("keccak", kKeccakVariants);
constexpr KernelTable<Blake2bCompressFn> kBlake2bKernels = TableOf("blake2b", kBlake2bVariants);
constexpr KernelTable<Blake2sCompressFn> kBlake2sKernels = TableOf("blake2s", kBlake2sVariants);
constexpr KernelTable<CrcUpdateFn> kCrc32Kernels = TableOf("crc32", kCrc32Variants);
constexpr KernelTable<CrcUpdateFn> kCrc32cKernels = TableOf("crc32c", kCrc32cVariants);
constexpr KernelTable<CrcUpdateFn> kCrc16Kernels = TableOf("crc16", kCrc16Variants);
constexpr KernelTable<Crc64UpdateFn> kCrc64Kernels = TableOf("crc64", kCrc64Variants);
constexpr KernelTable<Blake3HashManyFn> kBlake3Kernels = TableOf("blake3", kBlake3Variants);
constexpr KernelTable<Xxh3Fn> kXxh3Kernels = TableOf("xxh3", kXxh3Variants);

}  // namespace telvarn
