// Every block-function variant this processor can run, forced one by one: known answers,
// then random lengths, split points and alignments against the reference variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/base64_private.h"
#include "digest/blake3.h"
#include "digest/crc.h"
#include "digest/dispatch.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "digest/xxh3.h"
#include "digest/xxh3_private.h"
#include "support/digest_pieces.h"
#include "support/every_kernel_table.h"
#include "support/test_support.h"
#include "support/variant_checks.h"

namespace telvarn {
namespace {

using test::Pieces;
using test::RandomBytes;
using test::ExpectEveryActiveIsLastSupported;
using test::ExpectEveryTableStartsPortable;

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// For every variant the processor supports: the known answer of "123456789" (or the
// given vector), then 200 random messages of up to 9000 bytes, cut at random
// places and placed at every alignment, and one message of three SHA-512 blocks
// and a little more at an odd address, split in two at every offset, against the
// first (reference) variant.
template <class Context, class Fn, class Result>
void CheckVariants(const KernelTable<Fn>& table, const char* check, Result result) {
  const std::string algorithm = table.name;
  const KernelVariant<Fn>& reference = *table.begin();
  std::mt19937 random(2026);
  const std::vector<uint8_t> pool = RandomBytes(7, 9000 + 64);
  for (const KernelVariant<Fn>& variant : table) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant(algorithm, variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(algorithm + " variant " + variant.name);
    EXPECT_EQ(Pieces<Context>(variant, Bytes("123456789"), {}, 9, result), check);
    for (int round = 0; round < 200; ++round) {
      const size_t length = round < 100 ? random() % 600 : random() % 9000;
      const size_t offset = static_cast<size_t>(round) % 64;
      const uint8_t* message = pool.data() + offset;
      std::vector<size_t> cuts;
      for (size_t cut = 0, n = random() % 4; cut < n; ++cut) cuts.push_back(random() % (length + 1));
      std::sort(cuts.begin(), cuts.end());
      const std::string expected = Pieces<Context>(reference, message, {}, length, result);
      ASSERT_EQ(Pieces<Context>(variant, message, cuts, length, result), expected)
          << "length " << length << ", offset " << offset << ", " << cuts.size() << " cuts";
    }
    constexpr size_t kSplitLength = 3 * 128 + 5;
    const uint8_t* split = pool.data() + 1;
    const std::string whole = Pieces<Context>(reference, split, {}, kSplitLength, result);
    for (size_t cut = 0; cut <= kSplitLength; ++cut) {
      ASSERT_EQ(Pieces<Context>(variant, split, {cut}, kSplitLength, result), whole) << "split at " << cut;
    }
  }
}

std::string Hex(uint64_t value, int digits) {
  char text[17];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

TEST(Variants, Crc32EveryVariantAgreesWithTheByteTable) {
  CheckVariants<Crc32>(kCrc32Kernels, "CBF43926", [](Crc32& c) { return Hex(c.value(), 8); });
}

TEST(Variants, Crc32cEveryVariantAgreesWithTheByteTable) {
  CheckVariants<Crc32c>(kCrc32cKernels, "E3069283", [](Crc32c& c) { return Hex(c.value(), 8); });
}

TEST(Variants, Crc64EveryVariantAgreesWithTheByteTable) {
  CheckVariants<Crc64Xz>(kCrc64Kernels, "995DC9BBDF1939FA", [](Crc64Xz& c) { return Hex(c.value(), 16); });
}

TEST(Variants, Crc16EveryVariantAgreesWithTheByteTable) {
  CheckVariants<Crc16Mcrf4xx>(kCrc16Kernels, "6F91", [](Crc16Mcrf4xx& c) { return Hex(c.value(), 4); });
}

// What the random rounds may miss in the CRC updates: every length up to 600 (the
// folding variants change path at 64 and 256 bytes and fold blocks of 16), lengths
// around the pieces the jobs pass, around 16 KiB (where the x86-64 AVX-512 form
// takes eight accumulators of 512 bytes), 24 KiB (the CRC32 instruction's longest
// three streams) and 64 KiB, a few longer ones that leave every kind of tail, and
// one long input, each from a random register, at an odd address and ending at a
// page end, called directly against the reference.
template <class Register>
void CheckCrcLengths(const KernelTable<Register (*)(Register, const uint8_t*, size_t)>& table,
                     Register register_mask) {
  const auto& reference = *table.begin();
  const std::vector<uint8_t> pool = RandomBytes(11, (1u << 20) + 1);
  const uint8_t* data = pool.data() + 1;
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 600; ++length) lengths.push_back(length);
  for (size_t piece : {1024, 2048, 4096, 16384, 24576, 65536}) {
    for (size_t length = piece - 17; length <= piece + 17; ++length) lengths.push_back(length);
  }
  for (size_t length : {16384 + 512 + 448 + 63, 65536 + 300, 65536 + 511 + 4096}) lengths.push_back(length);
  lengths.push_back(pool.size() - 1);
  // The same bytes again ending at a page end, where a vector read past the last
  // byte faults.
  test::PageEndBuffer page_end(pool.size());
  std::mt19937 random(99);
  for (const auto& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string(table.name) + " " + variant.name);
    for (size_t length : lengths) {
      const Register reg = static_cast<Register>(uint64_t{random()} << 32 ^ random()) & register_mask;
      const Register expected = reference.kernel(reg, data, length);
      ASSERT_EQ(variant.kernel(reg, data, length), expected) << "length " << length;
      uint8_t* at_page_end = page_end.end() - length;
      std::memcpy(at_page_end, data, length);
      ASSERT_EQ(variant.kernel(reg, at_page_end, length), expected) << "length " << length << " at a page end";
    }
  }
}

TEST(Variants, Crc32EveryVariantAgreesAtEveryShortLengthAndOneLong) {
  CheckCrcLengths(kCrc32Kernels, 0xFFFFFFFFu);
}

TEST(Variants, Crc32cEveryVariantAgreesAtEveryShortLengthAndOneLong) {
  CheckCrcLengths(kCrc32cKernels, 0xFFFFFFFFu);
}

TEST(Variants, Crc16EveryVariantAgreesAtEveryShortLengthAndOneLong) {
  CheckCrcLengths(kCrc16Kernels, 0xFFFFu);
}

TEST(Variants, Crc64EveryVariantAgreesAtEveryShortLengthAndOneLong) {
  CheckCrcLengths(kCrc64Kernels, ~uint64_t{0});
}

TEST(Variants, Md5EveryVariantAgreesWithThePortableForm) {
  CheckVariants<Md5Context>(kMd5Kernels, "25f9e794323b453885f5181f1b624d0b",
                                        [](Md5Context& c) { return std::string(c.HexDigest()); });
}

TEST(Variants, Sha1EveryVariantAgreesWithThePortableForm) {
  CheckVariants<Sha1Context>(kSha1Kernels, "F7C3BC1D808E04732ADF679965CCC34CA7AE3441",
                                          [](Sha1Context& c) { return std::string(c.Finish()); });
}

TEST(Variants, Sha256EveryVariantAgreesWithThePortableForm) {
  CheckVariants<Sha256Context>(kSha256Kernels, 
      "15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225",
      [](Sha256Context& c) { return std::string(c.Finish()); });
}

TEST(Variants, Sha512EveryVariantAgreesWithThePortableForm) {
  CheckVariants<Sha512Context>(kSha512Kernels, 
      "D9E6762DD1C8EAF6D61B3C6192FC408D4D6D5F1176D0C29169BC24E71C3F274A"
      "D27FCD5811B313D681F7E55EC02D73D499C95455B6B5BB503ACF574FBA8FFE85",
      [](Sha512Context& c) { return std::string(c.Finish()); });
}

TEST(Variants, KeccakEveryVariantAgreesWithThePortableForm) {
  CheckVariants<Sha3_256Context>(kKeccakKernels,
      "87CD084D190E436F147322B90E7384F6A8E0676C99D21EF519EA718E51D45F9C",
      [](Sha3_256Context& c) { return std::string(c.Finish()); });
}

// Both widths from one stream, as xxhsum -H3 and -H128 print them.
std::string Xxh3Texts(Xxh3Context& context) {
  uint64_t wide[2];
  context.Digest128(wide);
  return Hex(context.Digest64(), 16) + " " + Hex(wide[0], 16) + Hex(wide[1], 16);
}

TEST(Variants, Xxh3EveryFormAgreesWithTheScalarForm) {
  CheckVariants<Xxh3Context>(kXxh3Kernels, "72DCB18B67A17DFF 33119477EDE5DCD5E9716427681D5860", Xxh3Texts);
}

// The block functions called directly, as the contexts call them with whole blocks
// from the caller's bytes: every block count from 0 to 20 (past the prefetch
// distance of the multi-block loops), the last block ending at a page end or a few
// bytes before it, from a random state, against the reference variant.
template <class Word, size_t kStateWords, size_t kBlock, class Fn>
void CheckBlockCounts(const KernelTable<Fn>& table) {
  using Variant = KernelVariant<Fn>;
  constexpr size_t kMostBlocks = 20;
  const size_t kBytesBeforeEnd[] = {0, 1, 3, 8, 15, 33, kBlock - 1};
  const Variant& reference = *table.begin();
  test::PageEndBuffer buffer(kMostBlocks * kBlock + kBlock);
  const std::vector<uint8_t> pool = RandomBytes(23, kMostBlocks * kBlock + kBlock);
  std::mt19937 random(5);
  for (const Variant& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string(table.name) + " variant " + variant.name);
    for (size_t before_end : kBytesBeforeEnd) {
      for (size_t blocks = 0; blocks <= kMostBlocks; ++blocks) {
        uint8_t* data = buffer.end() - before_end - blocks * kBlock;
        std::memcpy(data, pool.data() + blocks, blocks * kBlock);
        Word expected[kStateWords];
        for (Word& word : expected) word = static_cast<Word>(uint64_t{random()} << 32 | random());
        Word state[kStateWords];
        std::memcpy(state, expected, sizeof state);
        reference.kernel(expected, data, blocks);
        variant.kernel(state, data, blocks);
        ASSERT_EQ(0, std::memcmp(state, expected, sizeof state))
            << blocks << " blocks ending " << before_end << " bytes before a page end";
      }
    }
  }
}

TEST(Variants, Sha1EveryVariantAgreesAtEveryBlockCountUpToAPageEnd) {
  CheckBlockCounts<uint32_t, 5, 64>(kSha1Kernels);
}

TEST(Variants, Sha256EveryVariantAgreesAtEveryBlockCountUpToAPageEnd) {
  CheckBlockCounts<uint32_t, 8, 64>(kSha256Kernels);
}

TEST(Variants, Sha512EveryVariantAgreesAtEveryBlockCountUpToAPageEnd) {
  CheckBlockCounts<uint64_t, 8, 128>(kSha512Kernels);
}

#if defined(__i386__) || defined(__x86_64__)
// XINUSE (XGETBV with ECX = 1): the register state components not in their initial
// state. Zero when the processor cannot report it.
uint64_t StateInUse() {
  uint32_t eax, ebx, ecx, edx;
  __asm__ volatile("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(0xD), "c"(1));
  if ((eax & 4) == 0) return 0;
  uint32_t low, high;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
  return uint64_t{high} << 32 | low;
}

// The upper halves of YMM0-15 and of ZMM0-15 (XINUSE bits 2 and 6).
constexpr uint64_t kUpperHalves = (1u << 2) | (1u << 6);

// XINUSE read right after YMM0 was written whole, before VZEROUPPER clears the
// upper halves again; one block, so that nothing the compiler adds comes between.
// Compiled for AVX so that YMM0 may be named as clobbered in the 32-bit build too.
__attribute__((target("avx"))) uint64_t StateInUseWithYmm0Written() {
  uint32_t low, high;
  __asm__ volatile(
      "vpcmpeqd %%ymm0, %%ymm0, %%ymm0\n\t"
      "xgetbv\n\t"
      "vzeroupper"
      : "=a"(low), "=d"(high)
      : "c"(1)
      : "xmm0");
  return uint64_t{high} << 32 | low;
}

// Whether XINUSE tells the upper halves' state truly: set once a YMM register has
// been written, clear after VZEROUPPER. An emulator may offer XGETBV with ECX = 1
// and answer something else (qemu-i386 reports the YMM state in use throughout).
bool ProcessorReportsStateInUse() {
  uint32_t eax, ebx, ecx, edx;
  __asm__ volatile("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(0), "c"(0));
  if (eax < 0xD || !GetCpuFeatures().avx) return false;
  __asm__ volatile("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(0xD), "c"(1));
  if ((eax & 4) == 0) return false;
  const bool set_when_used = (StateInUseWithYmm0Written() & (1u << 2)) != 0;
  const bool clear_after_vzeroupper = (StateInUse() & kUpperHalves) == 0;
  return set_when_used && clear_after_vzeroupper;
}

// A kernel that leaves the upper halves of the vector registers in use makes every
// legacy-SSE instruction after it slower (the SHA-NI rounds among them), until some
// code clears them. Each variant is called from a clean state, on lengths that take
// every path, and must return clean.
template <class Fn, class Call>
void ExpectCleanUpperHalves(const KernelTable<Fn>& table, Call call) {
  const std::vector<uint8_t> data = RandomBytes(31, 40000);
  for (const KernelVariant<Fn>& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    for (size_t length : {size_t{0}, size_t{1}, size_t{100}, size_t{1024}, size_t{4096}, size_t{20000}, size_t{39999}}) {
      __asm__ volatile("vzeroupper");
      call(variant.kernel, data.data(), length);
      EXPECT_EQ(StateInUse() & kUpperHalves, 0u) << table.name << "/" << variant.name << ", " << length << " bytes";
    }
  }
}

// The whole blocks of `length` bytes through a block function, from a zero state.
template <class Word, size_t kStateWords, size_t kBlock, class Fn>
void CompressWholeBlocks(Fn compress, const uint8_t* data, size_t length) {
  Word state[kStateWords] = {};
  compress(state, data, length / kBlock);
}
#endif

TEST(Variants, EveryDigestVariantReturnsWithTheUpperRegisterHalvesClear) {
#if defined(__i386__) || defined(__x86_64__)
  if (!ProcessorReportsStateInUse()) GTEST_SKIP() << "XGETBV does not report the state in use truly here";
  const auto crc = [](auto update, const uint8_t* data, size_t length) { update(0, data, length); };
  ExpectCleanUpperHalves(kCrc32Kernels, crc);
  ExpectCleanUpperHalves(kCrc32cKernels, crc);
  ExpectCleanUpperHalves(kCrc16Kernels, crc);
  ExpectCleanUpperHalves(kCrc64Kernels, crc);
  ExpectCleanUpperHalves(kMd5Kernels, CompressWholeBlocks<uint32_t, 4, 64, Md5BlockFn>);
  ExpectCleanUpperHalves(kSha1Kernels, CompressWholeBlocks<uint32_t, 5, 64, Sha1BlockFn>);
  ExpectCleanUpperHalves(kSha256Kernels, CompressWholeBlocks<uint32_t, 8, 64, Sha256BlockFn>);
  ExpectCleanUpperHalves(kSha512Kernels, CompressWholeBlocks<uint64_t, 8, 128, Sha512BlockFn>);
  ExpectCleanUpperHalves(kKeccakKernels, [](KeccakAbsorbFn absorb, const uint8_t* data, size_t length) {
    uint64_t state[25] = {};
    absorb(state, data, length / 136, 136);
  });
  ExpectCleanUpperHalves(kBlake3Kernels, [](Blake3HashManyFn hash_many, const uint8_t* data, size_t length) {
    uint32_t key[8] = {};
    uint8_t out[40000 / 1024 * 32];
    hash_many(data, length / 1024, 16, key, 0, true, 0, 1, 2, out);
  });
  ExpectCleanUpperHalves(kXxh3Kernels, [](Xxh3Fn functions, const uint8_t* data, size_t length) {
    alignas(64) unsigned char state[640];
    functions->reset(state);
    functions->update(state, data, length);
    static_cast<void>(functions->digest64(state));
  });
#else
  GTEST_SKIP() << "x86 only";
#endif
}

TEST(Variants, TheActiveVariantOfEveryTableIsItsLastSupportedOne) {
  ExpectEveryActiveIsLastSupported(EveryKernelTable{});
}

TEST(Variants, EveryTableStartsWithARowForAnyProcessor) {
  ExpectEveryTableStartsPortable(EveryKernelTable{});
}

// The contexts built without a variant run the active one.
TEST(Variants, ContextsRunTheActiveVariant) {
  EXPECT_EQ(&Sha1Context().variant(), &Active<kSha1Kernels>());
  EXPECT_EQ(&Sha256Context().variant(), &Active<kSha256Kernels>());
  EXPECT_EQ(&Sha512Context().variant(), &Active<kSha512Kernels>());
  EXPECT_EQ(&Sha3_256Context().variant(), &Active<kKeccakKernels>());
  EXPECT_EQ(&Blake3Hasher().variant(), &Active<kBlake3Kernels>());
  EXPECT_EQ(&Xxh3Context().variant(), &Active<kXxh3Kernels>());
}

}  // namespace
}  // namespace telvarn
