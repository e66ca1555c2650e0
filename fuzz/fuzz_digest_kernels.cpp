// libFuzzer target: every CRC, MD5, SHA, keccak and XXH3 variant against the portable one, on any bytes cut anywhere and ending at a block's end.
//
// The first input byte picks where the message starts in its block (0 to 63 bytes
// past an aligned start) and the next three pick up to three cuts; the rest is the
// message. Each supported variant is fed the message in those pieces from a heap
// block that ends where the message ends, so a read past it meets the sanitizer's
// red zone, and its result must equal the first variant's on the whole message.
// The CRCs also get the message repeated past 16 KiB, with the cuts scaled.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "digest/crc.h"
#include "digest/dispatch.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "digest/xxh3.h"
#include "support/digest_pieces.h"

namespace {

using namespace telvarn;

struct Message {
  const uint8_t* bytes;
  size_t size;
  std::vector<size_t> cuts;  // ascending, each at most size
};

template <class Context, class Fn, class Result>
void CheckTable(const KernelTable<Fn>& table, const Message& message, Result result) {
  const std::string expected = test::Pieces<Context>(*table.begin(), message.bytes, {}, message.size, result);
  for (const KernelVariant<Fn>& variant : table) {
    if (!variant.supported(GetCpuFeatures())) continue;
    if (test::Pieces<Context>(variant, message.bytes, message.cuts, message.size, result) != expected) std::abort();
  }
}

std::string Number(uint64_t value) { return std::to_string(value); }

constexpr size_t kLongCrcInput = 16384;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t offset = data[0] % 64;
  const size_t length = size - 4;
  std::unique_ptr<uint8_t[]> block(new uint8_t[offset + length]);
  std::memcpy(block.get() + offset, data + 4, length);
  Message message{block.get() + offset, length, {}};
  for (size_t i = 1; i < 4; ++i) {
    if (data[i] != 0) message.cuts.push_back(length * data[i] / 255);
  }
  std::sort(message.cuts.begin(), message.cuts.end());

  CheckTable<Crc32>(kCrc32Kernels, message, [](Crc32& c) { return Number(c.value()); });
  CheckTable<Crc32c>(kCrc32cKernels, message, [](Crc32c& c) { return Number(c.value()); });
  CheckTable<Crc16Mcrf4xx>(kCrc16Kernels, message, [](Crc16Mcrf4xx& c) { return Number(c.value()); });
  CheckTable<Crc64Xz>(kCrc64Kernels, message, [](Crc64Xz& c) { return Number(c.value()); });
  // The CRCs again on the message repeated past the 16 KiB where the x86-64
  // AVX-512 fold takes eight accumulators, which inputs of fuzzing size never reach.
  if (length > 0) {
    const size_t repeats = kLongCrcInput / length + 1;
    std::unique_ptr<uint8_t[]> repeated(new uint8_t[length * repeats]);
    for (size_t i = 0; i < repeats; ++i) std::memcpy(repeated.get() + i * length, message.bytes, length);
    Message long_message{repeated.get(), length * repeats, {}};
    for (size_t cut : message.cuts) long_message.cuts.push_back(cut * repeats);
    CheckTable<Crc32>(kCrc32Kernels, long_message, [](Crc32& c) { return Number(c.value()); });
    CheckTable<Crc32c>(kCrc32cKernels, long_message, [](Crc32c& c) { return Number(c.value()); });
    CheckTable<Crc16Mcrf4xx>(kCrc16Kernels, long_message, [](Crc16Mcrf4xx& c) { return Number(c.value()); });
    CheckTable<Crc64Xz>(kCrc64Kernels, long_message, [](Crc64Xz& c) { return Number(c.value()); });
  }
  CheckTable<Md5Context>(kMd5Kernels, message, [](Md5Context& c) { return std::string(c.HexDigest()); });
  CheckTable<Sha1Context>(kSha1Kernels, message, [](Sha1Context& c) { return std::string(c.Finish()); });
  CheckTable<Sha256Context>(kSha256Kernels, message, [](Sha256Context& c) { return std::string(c.Finish()); });
  CheckTable<Sha512Context>(kSha512Kernels, message, [](Sha512Context& c) { return std::string(c.Finish()); });
  // The keccak absorb at the widest and the narrowest rate.
  CheckTable<Sha3_224Context>(kKeccakKernels, message, [](Sha3_224Context& c) { return std::string(c.Finish()); });
  CheckTable<Sha3_512Context>(kKeccakKernels, message, [](Sha3_512Context& c) { return std::string(c.Finish()); });
  CheckTable<Xxh3Context>(kXxh3Kernels, message, [](Xxh3Context& c) {
    uint64_t wide[2];
    c.Digest128(wide);
    return Number(c.Digest64()) + " " + Number(wide[0]) + " " + Number(wide[1]);
  });
  return 0;
}
