// libFuzzer target: every CRC, MD5, SHA, keccak, BLAKE2, BLAKE3 and XXH3 variant against the portable one, on any bytes cut anywhere and ending at a block's end.
//
// The first input byte picks where the message starts in its block (0 to 63 bytes
// past an aligned start) and the next three pick up to three cuts; the rest is the
// message. Each supported variant is fed the message in those pieces from a heap
// block that ends where the message ends, so a read past it meets the sanitizer's
// red zone, and its result must equal the first variant's on the whole message.
// The CRCs also get the message repeated past 16 KiB, with the cuts scaled, and
// BLAKE3 (unkeyed) the message repeated past 17 KiB, where the hasher takes 16
// chunks, a full group of the widest kernel, through it as a subtree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "digest/blake2.h"
#include "digest/blake3.h"
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

std::string Blake3Output(const Blake3Variant& variant, const uint8_t* key, const Message& message) {
  Blake3Hasher hasher(key, variant);
  size_t at = 0;
  for (size_t cut : message.cuts) {
    hasher.Update(message.bytes + at, cut - at);
    at = cut;
  }
  hasher.Update(message.bytes + at, message.size - at);
  uint8_t out[kBlake3OutLength];
  if (!hasher.Finalize(out, sizeof out)) std::abort();
  return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

void CheckBlake3(const Message& message, bool keyed_too) {
  static const uint8_t kKey[kBlake3KeyLength] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                                 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  const Message whole{message.bytes, message.size, {}};
  for (const uint8_t* key : {static_cast<const uint8_t*>(nullptr), kKey}) {
    if (key != nullptr && !keyed_too) break;
    const std::string expected = Blake3Output(*kBlake3Kernels.begin(), key, whole);
    for (const Blake3Variant& variant : kBlake3Kernels) {
      if (!variant.supported(GetCpuFeatures())) continue;
      if (Blake3Output(variant, key, message) != expected) std::abort();
    }
  }
}

Message Repeated(const Message& message, size_t least, std::unique_ptr<uint8_t[]>& storage) {
  const size_t repeats = least / message.size + 1;
  storage.reset(new uint8_t[message.size * repeats]);
  for (size_t i = 0; i < repeats; ++i) std::memcpy(storage.get() + i * message.size, message.bytes, message.size);
  Message long_message{storage.get(), message.size * repeats, {}};
  for (size_t cut : message.cuts) long_message.cuts.push_back(cut * repeats);
  return long_message;
}

constexpr size_t kLongCrcInput = 16384;
constexpr size_t kLongBlake3Input = 17 * 1024;

// BLAKE2's own keyed mode under a key of one byte short of the longest, so that
// the key block and the message's first block meet the cuts too.
template <class Context>
struct KeyedBlake2 : Context {
  static constexpr uint8_t kKey[Context::kMaxKeyBytes - 1] = {0x5a, 0x00, 0xa5};
  explicit KeyedBlake2(const typename Context::Variant& variant) : Context(variant, kKey, sizeof kKey) {}
};

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
    std::unique_ptr<uint8_t[]> repeated;
    const Message long_message = Repeated(message, kLongCrcInput, repeated);
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
  CheckTable<Blake2bContext>(kBlake2bKernels, message, [](Blake2bContext& c) { return std::string(c.HexDigest()); });
  CheckTable<Blake2sContext>(kBlake2sKernels, message, [](Blake2sContext& c) { return std::string(c.HexDigest()); });
  CheckTable<KeyedBlake2<Blake2bContext>>(kBlake2bKernels, message,
                                          [](Blake2bContext& c) { return std::string(c.HexDigest()); });
  CheckTable<KeyedBlake2<Blake2sContext>>(kBlake2sKernels, message,
                                          [](Blake2sContext& c) { return std::string(c.HexDigest()); });
  CheckBlake3(message, true);
  if (length > 0) {
    std::unique_ptr<uint8_t[]> repeated;
    CheckBlake3(Repeated(message, kLongBlake3Input, repeated), false);
  }
  CheckTable<Xxh3Context>(kXxh3Kernels, message, [](Xxh3Context& c) {
    uint64_t wide[2];
    c.Digest128(wide);
    return Number(c.Digest64()) + " " + Number(wide[0]) + " " + Number(wide[1]);
  });
  return 0;
}
