// BLAKE3: the published test vectors, every kernel variant against b3sum and against the portable kernel, and the subtree API against the one-thread hash.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "digest/blake3.h"
#include "digest/blake3_private.h"
#include "digest/blake3_shared.h"
#include "digest/helper_crew.h"
#include "digest/dispatch.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using test::RandomBytes;

const uint8_t* const kNoKey = nullptr;
const uint8_t* Key() { return reinterpret_cast<const uint8_t*>("whats the Elvish word for friend"); }

std::string Hex(const uint8_t* bytes, size_t size) { return test::LowerHex(bytes, size); }

// The first `out_length` bytes of the output, the message fed in the pieces that
// `cuts` (ascending) make.
std::string Hash(const Blake3Variant& variant, const uint8_t* key, const uint8_t* message, size_t length,
                 const std::vector<size_t>& cuts = {}, size_t out_length = kBlake3OutLength) {
  Blake3Hasher hasher(key, variant);
  size_t at = 0;
  for (size_t cut : cuts) {
    hasher.Update(message + at, cut - at);
    at = cut;
  }
  hasher.Update(message + at, length - at);
  std::vector<uint8_t> out(out_length);
  EXPECT_TRUE(hasher.Finalize(out.data(), out.size()));
  return Hex(out.data(), out.size());
}

// Calls each(variant) for every variant the processor supports; the first test
// notes them all in the variant report.
template <class Each>
void ForEachVariant(Each each, bool note = false) {
  for (const Blake3Variant& variant : kBlake3Kernels) {
    const bool supported = variant.supported(GetCpuFeatures());
    if (note) test::NoteVariant(kBlake3Kernels.name, variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("blake3 variant ") + variant.name);
    each(variant);
  }
}

// The published vectors' inputs (byte i is i mod 251) and the first 32 bytes of
// their hash and keyed hash, as b3sum 1.2.0 gives them.
struct KnownAnswer {
  size_t length;
  const char* hash;
  const char* keyed_hash;
};
const KnownAnswer kKnownAnswers[] = {
    {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262",
     "92b2b75604ed3c761f9d6f62392c8a9227ad0ea3f09573e783f1498a4ed60d26"},
    {1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213",
     "6d7878dfff2f485635d39013278ae14f1454b8c0a3a2d34bc1ab38228a80c95b"},
    {1023, "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11",
     "c951ecdf03288d0fcc96ee3413563d8a6d3589547f2c2fb36d9786470f1b9d6e"},
    {1024, "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7",
     "75c46f6f3d9eb4f55ecaaee480db732e6c2105546f1e675003687c31719c7ba4"},
    {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444",
     "357dc55de0c7e382c900fd6e320acc04146be01db6a8ce7210b7189bd664ea69"},
    {2048, "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a",
     "879cf1fa2ea0e79126cb1063617a05b6ad9d0b696d0d757cf053439f60a99dd1"},
    {2049, "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030",
     "9f29700902f7c86e514ddc4df1e3049f258b2472b6dd5267f61bf13983b78dd5"},
    {3072, "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2",
     "044a0e7b172a312dc02a4c9a818c036ffa2776368d7f528268d2e6b5df191770"},
    {3073, "7124b49501012f81cc7f11ca069ec9226cecb8a2c850cfe644e327d22d3e1cd3",
     "68dede9bef00ba89e43f31a6825f4cf433389fedae75c04ee9f0cf16a427c95a"},
    {4096, "015094013f57a5277b59d8475c0501042c0b642e531b0a1c8f58d2163229e969",
     "befc660aea2f1718884cd8deb9902811d332f4fc4a38cf7c7300d597a081bfc0"},
    {4097, "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995",
     "00df940cd36bb9fa7cbbc3556744e0dbc8191401afe70520ba292ee3ca80abbc"},
    {5120, "9cadc15fed8b5d854562b26a9536d9707cadeda9b143978f319ab34230535833",
     "2c493e48e9b9bf31e0553a22b23503c0a3388f035cece68eb438d22fa1943e20"},
    {5121, "628bd2cb2004694adaab7bbd778a25df25c47b9d4155a55f8fbd79f2fe154cff",
     "6ccf1c34753e7a044db80798ecd0782a8f76f33563accaddbfbb2e0ea4b2d024"},
    {6144, "3e2e5b74e048f3add6d21faab3f83aa44d3b2278afb83b80b3c35164ebeca205",
     "3d6b6d21281d0ade5b2b016ae4034c5dec10ca7e475f90f76eac7138e9bc8f1d"},
    {6145, "f1323a8631446cc50536a9f705ee5cb619424d46887f3c376c695b70e0f0507f",
     "9ac301e9e39e45e3250a7e3b3df701aa0fb6889fbd80eeecf28dbc6300fbc539"},
    {7168, "61da957ec2499a95d6b8023e2b0e604ec7f6b50e80a9678b89d2628e99ada77a",
     "b42835e40e9d4a7f42ad8cc04f85a963a76e18198377ed84adddeaecacc6f3fc"},
    {7169, "a003fc7a51754a9b3c7fae0367ab3d782dccf28855a03d435f8cfe74605e7817",
     "ed9b1a922c046fdb3d423ae34e143b05ca1bf28b710432857bf738bcedbfa511"},
    {8192, "aae792484c8efe4f19e2ca7d371d8c467ffb10748d8a5a1ae579948f718a2a63",
     "dc9637c8845a770b4cbf76b8daec0eebf7dc2eac11498517f08d44c8fc00d58a"},
    {8193, "bab6c09cb8ce8cf459261398d2e7aef35700bf488116ceb94a36d0f5f1b7bc3b",
     "954a2a75420c8d6547e3ba5b98d963e6fa6491addc8c023189cc519821b4a1f5"},
    {16384, "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4",
     "9e9fc4eb7cf081ea7c47d1807790ed211bfec56aa25bb7037784c13c4b707b0d"},
    {31744, "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47",
     "efa53b389ab67c593dba624d898d0f7353ab99e4ac9d42302ee64cbf9939a419"},
    {102400, "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085",
     "1c35d1a5811083fd7119f5d5d1ba027b4d01c0c6c49fb6ff2cf75393ea5db4a7"},
};

TEST(Blake3, EveryVariantGivesThePublishedVectors) {
  std::vector<uint8_t> input(102400);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i % 251);
  ForEachVariant([&](const Blake3Variant& variant) {
    for (const KnownAnswer& answer : kKnownAnswers) {
      EXPECT_EQ(Hash(variant, kNoKey, input.data(), answer.length), answer.hash) << answer.length << " bytes";
      EXPECT_EQ(Hash(variant, Key(), input.data(), answer.length), answer.keyed_hash) << answer.length << " bytes";
      // Byte by byte, each block and each chunk is finished only when the next byte comes.
      std::vector<size_t> every_byte;
      for (size_t cut = 1; cut < answer.length && answer.length <= 8193; ++cut) every_byte.push_back(cut);
      EXPECT_EQ(Hash(variant, kNoKey, input.data(), answer.length, every_byte), answer.hash) << answer.length;
    }
  }, true);
}

// b3sum's outputs of the messages (each a prefix of `pool`, by length), each
// `out_length` bytes long in hexadecimal; empty, with `why` set, where it cannot run.
std::vector<std::string> B3sum(const std::vector<uint8_t>& pool, const std::vector<size_t>& lengths,
                               const uint8_t* key, size_t out_length, std::string* why) {
#if defined(_WIN32)
  (void)pool, (void)lengths, (void)key, (void)out_length;
  *why = "b3sum is run natively only: the Windows build is checked by the vectors and the portable kernel";
  return {};
#else
  if (std::system("command -v b3sum > /dev/null 2>&1") != 0) {
    *why = "b3sum is not on PATH (Debian's package b3sum; scripts/setup.sh installs it)";
    return {};
  }
  test::TempDir folder;
  std::string command = "b3sum --no-names --length " + std::to_string(out_length);
  if (key != nullptr) {
    test::WriteFile(folder.path("key"), std::string(reinterpret_cast<const char*>(key), kBlake3KeyLength));
    command += " --keyed";
  }
  for (size_t i = 0; i < lengths.size(); ++i) {
    const std::string name = folder.path("m" + std::to_string(i));
    test::WriteFile(name, std::string(reinterpret_cast<const char*>(pool.data()), lengths[i]));
    command += " '" + name + "'";
  }
  if (key != nullptr) command += " < '" + folder.path("key") + "'";
  command += " > '" + folder.path("sums") + "'";
  if (std::system(command.c_str()) != 0) {
    *why = "b3sum failed: " + command;
    return {};
  }
  std::vector<std::string> sums;
  const std::string text = test::ReadFile(folder.path("sums"));
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    sums.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  EXPECT_EQ(sums.size(), lengths.size()) << text;
  return sums;
#endif
}

// Lengths around every block boundary of the first two chunks, every chunk
// boundary of the first seventeen, and the boundaries of subtrees of 32 to 1024
// chunks, alone and with a half-size subtree after them (129 and 257 chunks pass
// the hasher's 128-chunk leaves).
std::vector<size_t> BoundaryLengths() {
  std::vector<size_t> lengths = {0};
  auto around = [&](size_t length) {
    for (size_t near : {length - 1, length, length + 1}) lengths.push_back(near);
  };
  for (size_t block = 1; block <= 32; ++block) around(block * 64);
  for (size_t chunk = 3; chunk <= 17; ++chunk) around(chunk * 1024);
  for (size_t chunks = 32; chunks <= 1024; chunks *= 2) {
    around(chunks * 1024);
    around((chunks + chunks / 2) * 1024);
  }
  around(129 * 1024);
  around(257 * 1024);
  return lengths;
}

// Each length fed whole, cut at a block and a chunk boundary, cut just before
// the end, and cut at four random places, through every variant, plain and keyed.
TEST(Blake3, EveryVariantAgreesWithB3sumAroundEveryBoundary) {
  const std::vector<size_t> lengths = BoundaryLengths();
  const std::vector<uint8_t> pool = RandomBytes(3, 1536 * 1024 + 1);
  std::string why;
  const std::vector<std::string> plain = B3sum(pool, lengths, kNoKey, kBlake3OutLength, &why);
  if (plain.empty()) GTEST_SKIP() << why;
  const std::vector<std::string> keyed = B3sum(pool, lengths, Key(), kBlake3OutLength, &why);
  ASSERT_FALSE(keyed.empty()) << why;
  std::mt19937 random(8);
  ForEachVariant([&](const Blake3Variant& variant) {
    for (size_t i = 0; i < lengths.size(); ++i) {
      const size_t length = lengths[i];
      std::vector<std::vector<size_t>> cut_sets = {{}};
      if (length > 1024) cut_sets.push_back({64, 1024});
      if (length > 0) cut_sets.push_back({length - 1});
      std::vector<size_t> random_cuts;
      for (int n = 0; n < 4; ++n) random_cuts.push_back(random() % (length + 1));
      std::sort(random_cuts.begin(), random_cuts.end());
      cut_sets.push_back(random_cuts);
      for (const auto& cuts : cut_sets) {
        ASSERT_EQ(Hash(variant, kNoKey, pool.data(), length, cuts), plain[i])
            << length << " bytes, " << cuts.size() << " cuts";
        ASSERT_EQ(Hash(variant, Key(), pool.data(), length, cuts), keyed[i]) << length << " bytes keyed";
      }
    }
  });
}

// One message of five chunks and a partial one, split in two at every offset; and
// outputs longer than one block (the extendable output).
TEST(Blake3, EveryVariantAgreesWithB3sumAtEverySplitAndOnLongOutputs) {
  constexpr size_t kLength = 5 * 1024 + 77;
  const std::vector<uint8_t> pool = RandomBytes(4, 40 * 1024);
  std::string why;
  const std::vector<std::string> whole = B3sum(pool, {kLength}, Key(), kBlake3OutLength, &why);
  if (whole.empty()) GTEST_SKIP() << why;
  const std::vector<size_t> long_lengths = {0, 65, 1024, 33 * 1024 + 5};
  const std::vector<std::string> long_outputs = B3sum(pool, long_lengths, kNoKey, 200, &why);
  ASSERT_FALSE(long_outputs.empty()) << why;
  ForEachVariant([&](const Blake3Variant& variant) {
    for (size_t cut = 0; cut <= kLength; ++cut) {
      ASSERT_EQ(Hash(variant, Key(), pool.data(), kLength, {cut}), whole[0]) << "split at " << cut;
    }
    for (size_t i = 0; i < long_lengths.size(); ++i) {
      EXPECT_EQ(Hash(variant, kNoKey, pool.data(), long_lengths[i], {}, 200), long_outputs[i]) << long_lengths[i];
      // A shorter output is a prefix of the longer one.
      EXPECT_EQ(Hash(variant, kNoKey, pool.data(), long_lengths[i], {}, 100), long_outputs[i].substr(0, 200));
    }
  });
}

// The kernels called directly, chunks and parents, at every count up to three
// groups of the widest, with counters that cross 2^32 between lanes, the last
// input ending at a page end, against the portable kernel.
TEST(Blake3, EveryKernelAgreesWithThePortableOne) {
  using namespace blake3_internal;
  constexpr size_t kMostInputs = 49;
  test::PageEndBuffer buffer(kMostInputs * kChunkLength);
  const std::vector<uint8_t> pool = RandomBytes(5, kMostInputs * kChunkLength);
  uint32_t key[8];
  for (int w = 0; w < 8; ++w) key[w] = LoadWord(Key() + 4 * w);
  struct Shape {
    size_t blocks;
    uint64_t counter;
    bool increment;
    uint8_t flags, start, end;
  };
  const Shape kShapes[] = {{kBlocksPerChunk, 0, true, 0, kChunkStart, kChunkEnd},
                           {kBlocksPerChunk, (uint64_t{1} << 32) - 5, true, kKeyedHash, kChunkStart, kChunkEnd},
                           {1, 0, false, kParent, 0, 0},
                           {1, 0, false, kParent | kKeyedHash, 0, 0}};
  ForEachVariant([&](const Blake3Variant& variant) {
    for (const Shape& shape : kShapes) {
      for (size_t count = 0; count <= kMostInputs; ++count) {
        const size_t bytes = count * shape.blocks * kBlockLength;
        uint8_t* inputs = buffer.end() - bytes;
        std::memcpy(inputs, pool.data(), bytes);
        std::vector<uint8_t> expected(count * kCvLength + 1, 0xA5);
        std::vector<uint8_t> out(count * kCvLength + 1, 0xA5);
        HashManyPortable(inputs, count, shape.blocks, key, shape.counter, shape.increment, shape.flags, shape.start,
                         shape.end, expected.data());
        variant.kernel(inputs, count, shape.blocks, key, shape.counter, shape.increment, shape.flags, shape.start,
                       shape.end, out.data());
        ASSERT_EQ(Hex(out.data(), out.size()), Hex(expected.data(), expected.size()))
            << count << " inputs of " << shape.blocks << " blocks from counter " << shape.counter;
      }
    }
  });
}

// A message as [prefix][subtrees hashed apart][rest]: the chunk counts of the
// subtrees in order, each starting where the one before ends.
struct SubtreeSplit {
  size_t prefix;
  std::vector<uint64_t> subtrees;
  size_t rest;
};
const SubtreeSplit kSubtreeSplits[] = {
    {0, {1}, 1},
    {0, {4}, 1},
    {0, {8}, 5000},
    {1024, {1}, 5},
    {1024, {1, 2}, 1},
    {2048, {2, 4, 8}, 100},
    {3 * 4096, {4}, 4096 + 7},
    {6 * 1024, {2}, 3 * 1024 + 1},
    {0, {256, 256, 512}, 1},
    {128 * 1024, {128, 256}, 64 * 1024},
};

TEST(Blake3, SubtreesHashedApartGiveTheOneThreadResult) {
  ForEachVariant([&](const Blake3Variant& variant) {
    for (const SubtreeSplit& split : kSubtreeSplits) {
      size_t length = split.prefix + split.rest;
      for (uint64_t chunks : split.subtrees) length += static_cast<size_t>(chunks) * kBlake3ChunkLength;
      const std::vector<uint8_t> message = RandomBytes(static_cast<uint32_t>(length), length);
      for (const uint8_t* key : {kNoKey, Key()}) {
        SCOPED_TRACE(std::to_string(length) + " bytes, prefix " + std::to_string(split.prefix) +
                     (key != nullptr ? ", keyed" : ""));
        Blake3Hasher hasher(key, variant);
        hasher.Update(message.data(), split.prefix);
        size_t at = split.prefix;
        for (uint64_t chunks : split.subtrees) {
          uint8_t cv[kBlake3CvLength];
          ASSERT_TRUE(Blake3HashSubtree(message.data() + at, chunks, at / kBlake3ChunkLength, key, cv, variant));
          ASSERT_TRUE(hasher.AppendSubtree(cv, chunks));
          at += static_cast<size_t>(chunks) * kBlake3ChunkLength;
          EXPECT_EQ(hasher.position(), at);
        }
        uint8_t out[kBlake3OutLength];
        EXPECT_FALSE(hasher.Finalize(out, sizeof out)) << "a message may not end with a subtree";
        hasher.Update(message.data() + at, split.rest);
        ASSERT_TRUE(hasher.Finalize(out, sizeof out));
        EXPECT_EQ(Hex(out, sizeof out), Hash(variant, key, message.data(), length));
      }
    }
  });
}

// The plan of digest/blake3.h's comment, runs of at most 16 chunks after a prefix of
// whole chunks given to Update, over lengths around powers of two of chunks.
TEST(Blake3, ThePlannedSplitGivesTheOneThreadResult) {
  const std::vector<uint8_t> message = RandomBytes(7, 300 * 1024 + 1);
  for (size_t prefix_chunks : {0, 1, 3, 16}) {
    for (size_t length : {1024 * prefix_chunks + 1, size_t{17 * 1024}, size_t{17 * 1024 + 1},
                          size_t{64 * 1024 + 1}, size_t{100000}, message.size()}) {
      if (length < 1024 * prefix_chunks) continue;
      Blake3Hasher hasher(Key(), Active<kBlake3Kernels>());
      size_t at = 1024 * prefix_chunks;
      hasher.Update(message.data(), at);
      while (length - at > kBlake3ChunkLength) {
        uint64_t chunks = 16;
        while (chunks > 1 && ((at / kBlake3ChunkLength) % chunks != 0 || length - at <= chunks * kBlake3ChunkLength)) {
          chunks /= 2;
        }
        uint8_t cv[kBlake3CvLength];
        ASSERT_TRUE(Blake3HashSubtree(message.data() + at, chunks, at / kBlake3ChunkLength, Key(), cv));
        ASSERT_TRUE(hasher.AppendSubtree(cv, chunks));
        at += static_cast<size_t>(chunks) * kBlake3ChunkLength;
      }
      hasher.Update(message.data() + at, length - at);
      uint8_t out[kBlake3OutLength];
      ASSERT_TRUE(hasher.Finalize(out, sizeof out));
      EXPECT_EQ(Hex(out, sizeof out), Hash(Active<kBlake3Kernels>(), Key(), message.data(), length))
          << length << " bytes after " << prefix_chunks << " chunks";
    }
  }
}

// What the subtree functions refuse, leaving the hasher as it was.
TEST(Blake3, SubtreeFunctionsRefuseWhatCannotBeANode) {
  const std::vector<uint8_t> message = RandomBytes(6, 8 * 1024 + 1);
  uint8_t cv[kBlake3CvLength] = {};
  EXPECT_FALSE(Blake3HashSubtree(message.data(), 3, 0, kNoKey, cv)) << "3 chunks";
  EXPECT_FALSE(Blake3HashSubtree(message.data(), 0, 0, kNoKey, cv)) << "no chunks";
  EXPECT_FALSE(Blake3HashSubtree(message.data(), 4, 2, kNoKey, cv)) << "4 chunks from chunk 2";
  EXPECT_TRUE(Blake3HashSubtree(message.data(), 2, 2, kNoKey, cv));
  Blake3Hasher hasher;
  EXPECT_FALSE(hasher.AppendSubtree(cv, 3));
  EXPECT_FALSE(hasher.AppendSubtree(cv, uint64_t{1} << 63)) << "more chunks than 64 bits of bytes hold";
  hasher.Update(message.data(), 1024 + 5);
  EXPECT_FALSE(hasher.AppendSubtree(cv, 1)) << "inside a chunk";
  hasher.Reset();
  hasher.Update(message.data(), 2048);
  EXPECT_FALSE(hasher.AppendSubtree(cv, 4)) << "chunk 2 is no multiple of 4";
  EXPECT_EQ(hasher.position(), 2048u);
  uint8_t out[kBlake3OutLength];
  ASSERT_TRUE(hasher.Finalize(out, sizeof out));
  EXPECT_EQ(Hex(out, sizeof out), Hash(Active<kBlake3Kernels>(), kNoKey, message.data(), 2048));
}

// A crew runs every task of every batch exactly once, whatever its size, batch
// after batch (the helpers join each batch once and leave it before the next).
TEST(HelperCrew, EveryTaskOfEveryBatchRunsOnce) {
  for (uint32_t helpers : {0u, 1u, 3u}) {
    HelperCrew crew(helpers);
    std::vector<std::atomic<uint32_t>> runs(100);
    for (uint32_t batch = 0; batch < 300; ++batch) {
      const uint32_t count = batch % 7 == 0 ? 0 : batch % 100;
      for (auto& r : runs) r.store(0);
      crew.Run(count, [](void* context, uint32_t index) {
        (*static_cast<std::vector<std::atomic<uint32_t>>*>(context))[index].fetch_add(1);
      }, &runs);
      for (uint32_t i = 0; i < runs.size(); ++i) {
        ASSERT_EQ(runs[i].load(), i < count ? 1u : 0u) << helpers << " helpers, batch " << batch << ", task " << i;
      }
    }
    EXPECT_EQ(crew.helpers(), helpers);
  }
}

// The shared hasher gives the one-thread result with any number of helpers, fed
// as the job feeds it (spans of a file block) or in other spans, from a chunk
// boundary or not, plain and keyed, at lengths around the shared span's least
// size and a block's.
TEST(Blake3, SharedHasherEqualsTheOneThreadHash) {
  constexpr size_t kBlock = size_t{1} << 20;
  const std::vector<uint8_t> message = RandomBytes(9, 3 * kBlock + 4096);
  const size_t lengths[] = {Blake3SharedHasher::kSharedBytes - 1, Blake3SharedHasher::kSharedBytes,
                            Blake3SharedHasher::kSharedBytes + 1, kBlock, kBlock + 1, 3 * kBlock + 517};
  const struct {
    size_t first;  // a first piece of this size, then spans of `span`
    size_t span;
  } feeds[] = {{0, kBlock}, {1000, kBlock}, {kBlock - 1024, kBlock}, {0, Blake3SharedHasher::kSharedBytes + 44 * 1024 + 7}};
  for (uint32_t helpers : {0u, 1u, 3u}) {
    for (const uint8_t* key : {kNoKey, Key()}) {
      for (size_t length : lengths) {
        const std::string expected = Hash(*kBlake3Kernels.begin(), key, message.data(), length);
        for (const auto& feed : feeds) {
          Blake3SharedHasher hasher(key, helpers);
          size_t at = std::min(feed.first, length);
          hasher.Update(message.data(), at);
          while (at < length) {
            const size_t span = std::min(feed.span, length - at);
            hasher.Update(message.data() + at, span);
            at += span;
          }
          uint8_t out[kBlake3OutLength];
          hasher.Finalize(out);
          ASSERT_EQ(Hex(out, sizeof out), expected) << helpers << " helpers, " << (key ? "keyed, " : "") << length
                                                    << " bytes, first " << feed.first << ", spans " << feed.span;
          if (helpers > 0 && length >= Blake3SharedHasher::kSharedBytes + feed.first) {
            EXPECT_EQ(hasher.helpers(), helpers) << "the crew shared the spans";
          }
        }
      }
    }
  }
}

// Hashers that ask for this process's helpers share one budget of them: two at
// once hold no more than HelpersForThisProcess() together, the helpers of one
// that ends are free for the next, and the hash stays the one-thread hash.
TEST(Blake3, HashersShareOneBudgetOfHelpers) {
  const uint32_t budget = Blake3SharedHasher::HelpersForThisProcess();
  if (budget == 0) GTEST_SKIP() << "SKIPPED (this process may run on one processor: no helpers to share)";
  const std::vector<uint8_t> message = RandomBytes(5, 2 * Blake3SharedHasher::kSharedBytes);
  const size_t half = Blake3SharedHasher::kSharedBytes;
  auto first = std::make_unique<Blake3SharedHasher>(kNoKey, Blake3SharedHasher::kHelpersForThisProcess);
  Blake3SharedHasher second(kNoKey, Blake3SharedHasher::kHelpersForThisProcess);
  first->Update(message.data(), half);
  second.Update(message.data(), half);
  EXPECT_EQ(first->helpers(), budget);
  EXPECT_EQ(second.helpers(), 0u) << "the budget is spent";
  first.reset();
  second.Update(message.data() + half, half);
  EXPECT_EQ(second.helpers(), budget) << "the first hasher's helpers are free again";
  uint8_t out[kBlake3OutLength];
  second.Finalize(out);
  EXPECT_EQ(Hex(out, sizeof out), Hash(*kBlake3Kernels.begin(), kNoKey, message.data(), message.size()));
}

}  // namespace
}  // namespace telvarn
