// Digest contexts against OpenSSL's libcrypto on random messages fed in random pieces, and the keyed jobs against its HMAC.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/hmac.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "telvarn.h"

namespace telvarn {
namespace {

std::string OpenSslHex(const EVP_MD* md, const std::string& message, bool upper) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(message.data(), message.size(), digest, &length, md, nullptr);
  std::string text;
  char pair[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, upper ? "%02X" : "%02x", digest[i]);
    text += pair;
  }
  return text;
}

std::string OpenSslHmac(const EVP_MD* md, const std::string& key, const std::string& message, bool upper) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(md, key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
       message.size(), digest, &length);
  std::string text;
  char pair[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, upper ? "%02X" : "%02x", digest[i]);
    text += pair;
  }
  return text;
}

// Feeds the message in random pieces, some of them empty.
template <class Context>
void FeedInPieces(Context& context, const std::string& message, std::mt19937& rng) {
  size_t done = 0;
  while (done < message.size()) {
    size_t piece = rng() % 4 == 0 ? rng() % 3 : rng() % 70000;
    if (piece > message.size() - done) piece = message.size() - done;
    context.Update(reinterpret_cast<const uint8_t*>(message.data()) + done, piece);
    done += piece;
  }
}

class AgainstOpenSsl : public ::testing::Test {
 protected:
  std::string RandomMessage() {
    std::string message(rng_() % ((1u << 20) + 1), '\0');
    for (char& c : message) c = static_cast<char>(rng_());
    return message;
  }
  std::mt19937 rng_{7};
};

TEST_F(AgainstOpenSsl, EveryShaVariantOnRandomMessages) {
  for (int round = 0; round < 12; ++round) {
    const std::string message = RandomMessage();
    SCOPED_TRACE(message.size());
    for (const Sha1Variant& v : kSha1Kernels) {
      if (!v.supported(GetCpuFeatures())) continue;
      Sha1Context sha(v);
      FeedInPieces(sha, message, rng_);
      EXPECT_EQ(sha.Finish(), OpenSslHex(EVP_sha1(), message, true)) << v.name;
    }
    for (const Sha256Variant& v : kSha256Kernels) {
      if (!v.supported(GetCpuFeatures())) continue;
      Sha256Context sha(v);
      FeedInPieces(sha, message, rng_);
      EXPECT_EQ(sha.Finish(), OpenSslHex(EVP_sha256(), message, true)) << v.name;
      Sha224Context sha224(v);
      FeedInPieces(sha224, message, rng_);
      EXPECT_EQ(sha224.Finish(), OpenSslHex(EVP_sha224(), message, true)) << v.name;
    }
    for (const Sha512Variant& v : kSha512Kernels) {
      if (!v.supported(GetCpuFeatures())) continue;
      Sha512Context sha(v);
      FeedInPieces(sha, message, rng_);
      EXPECT_EQ(sha.Finish(), OpenSslHex(EVP_sha512(), message, true)) << v.name;
      Sha384Context sha384(v);
      FeedInPieces(sha384, message, rng_);
      EXPECT_EQ(sha384.Finish(), OpenSslHex(EVP_sha384(), message, true)) << v.name;
      Sha512_224Context sha512_224(v);
      FeedInPieces(sha512_224, message, rng_);
      EXPECT_EQ(sha512_224.Finish(), OpenSslHex(EVP_sha512_224(), message, true)) << v.name;
      Sha512_256Context sha512_256(v);
      FeedInPieces(sha512_256, message, rng_);
      EXPECT_EQ(sha512_256.Finish(), OpenSslHex(EVP_sha512_256(), message, true)) << v.name;
    }
  }
}

// A key as the IO holds one: no zero byte, since the key ends at the first.
std::string RandomKey(std::mt19937& rng, size_t length) {
  std::string key(length, '\0');
  for (char& c : key) c = static_cast<char>(1 + rng() % 255);
  return key;
}

// SHA-3 by every keccak variant, plain and keyed, against OpenSSL: each message
// length around one and two rates and a few long ones, fed whole and cut at
// several offsets, and keys around the rate.
struct Sha3Algorithm {
  const char* name;
  const EVP_MD* (*md)();
  size_t rate;
  std::string (*digest)(const KeccakVariant&, const std::string&, const std::vector<size_t>&);
  std::string (*hmac)(const std::string&, const std::string&);
};

template <class Context>
std::string Sha3Pieces(const KeccakVariant& variant, const std::string& message, const std::vector<size_t>& cuts) {
  Context context(variant);
  size_t at = 0;
  for (size_t cut : cuts) {
    context.Update(reinterpret_cast<const uint8_t*>(message.data()) + at, cut - at);
    at = cut;
  }
  context.Update(reinterpret_cast<const uint8_t*>(message.data()) + at, message.size() - at);
  return context.Finish();
}

template <class Context>
std::string Sha3Hmac(const std::string& key, const std::string& message) {
  Hmac<Context> hmac;
  hmac.SetKey(reinterpret_cast<const uint8_t*>(key.c_str()), key.size() + 1);
  hmac.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  return hmac.HexDigest();
}

template <class Context>
constexpr Sha3Algorithm Sha3Of(const char* name, const EVP_MD* (*md)()) {
  return {name, md, Context::kBlockSize, &Sha3Pieces<Context>, &Sha3Hmac<Context>};
}

TEST(Sha3AgainstOpenSsl, EveryVariantAtEveryRateBoundaryInPieces) {
  const Sha3Algorithm algorithms[] = {Sha3Of<Sha3_224Context>("SHA3-224", &EVP_sha3_224),
                                      Sha3Of<Sha3_256Context>("SHA3-256", &EVP_sha3_256),
                                      Sha3Of<Sha3_384Context>("SHA3-384", &EVP_sha3_384),
                                      Sha3Of<Sha3_512Context>("SHA3-512", &EVP_sha3_512)};
  std::mt19937 rng(202);
  std::string pool(65537 + 144, '\0');
  for (char& c : pool) c = static_cast<char>(rng());
  size_t checks = 0;
  for (const Sha3Algorithm& algorithm : algorithms) {
    const size_t r = algorithm.rate;
    const size_t lengths[] = {0, 1, r - 1, r, r + 1, 2 * r - 1, 2 * r, 2 * r + 1, 3 * r + 5, 65535, 65536, 65537};
    const size_t key_lengths[] = {0, r - 1, r, r + 1, 2 * r + 1};
    for (size_t i = 0; i < std::size(lengths); ++i) {
      const size_t length = lengths[i];
      const std::string message = pool.substr(length % 7, length);
      const std::string expected = OpenSslHex(algorithm.md(), message, true);
      const std::string key = RandomKey(rng, key_lengths[i % std::size(key_lengths)]);
      const std::string expected_hmac = OpenSslHmac(algorithm.md(), key, message, true);
      const std::vector<std::vector<size_t>> cut_sets = {
          {}, {length / 2}, {1 % (length + 1), length - length / 3}, {length / 5, length / 3, length - 1 % (length + 1)},
          {std::min(length, r - 1), std::min(length, r + 2)}};
      for (const KeccakVariant& variant : kKeccakKernels) {
        if (!variant.supported(GetCpuFeatures())) continue;
        for (const std::vector<size_t>& cuts : cut_sets) {
          ASSERT_EQ(algorithm.digest(variant, message, cuts), expected)
              << algorithm.name << "/" << variant.name << ", " << length << " bytes, " << cuts.size() << " cuts";
          ++checks;
        }
      }
      ASSERT_EQ(algorithm.hmac(key, message), expected_hmac)
          << "HMAC-" << algorithm.name << ", " << length << " bytes, " << key.size() << "-byte key";
    }
  }
  std::printf("%zu SHA-3 digests agree with OpenSSL\n", checks);
}

template <class Hash>
std::string HmacInPieces(const std::string& key, const std::string& message, std::mt19937& rng) {
  std::string area = key;
  area.resize(4096, '\0');
  Hmac<Hash> hmac;
  hmac.SetKey(reinterpret_cast<const uint8_t*>(area.data()), area.size());
  FeedInPieces(hmac, message, rng);
  return hmac.HexDigest();
}

TEST_F(AgainstOpenSsl, Md5AndEveryHmacOnRandomMessagesAndKeys) {
  for (int round = 0; round < 12; ++round) {
    const std::string message = RandomMessage();
    SCOPED_TRACE(message.size());
    Md5Context md5;
    FeedInPieces(md5, message, rng_);
    EXPECT_EQ(md5.HexDigest(), OpenSslHex(EVP_md5(), message, false));

    const std::string key = RandomKey(rng_, rng_() % 300);
    SCOPED_TRACE(testing::Message() << key.size() << "-byte key");
    EXPECT_EQ(HmacInPieces<Md5Context>(key, message, rng_), OpenSslHmac(EVP_md5(), key, message, false));
    EXPECT_EQ(HmacInPieces<Sha1Context>(key, message, rng_), OpenSslHmac(EVP_sha1(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha256Context>(key, message, rng_), OpenSslHmac(EVP_sha256(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha512Context>(key, message, rng_), OpenSslHmac(EVP_sha512(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha224Context>(key, message, rng_), OpenSslHmac(EVP_sha224(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha384Context>(key, message, rng_), OpenSslHmac(EVP_sha384(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha512_224Context>(key, message, rng_),
              OpenSslHmac(EVP_sha512_224(), key, message, true));
    EXPECT_EQ(HmacInPieces<Sha512_256Context>(key, message, rng_),
              OpenSslHmac(EVP_sha512_256(), key, message, true));
  }
}

// The message lengths up to 10,000 bytes where a cut falls: around every memory
// chunk (1024 bytes) and file chunk (4096), around the hashes' blocks (64, 128)
// and the lengths where their padding spills into another block, and a few
// random ones between.
std::vector<size_t> LengthsAroundTheCuts(std::mt19937& rng) {
  std::set<size_t> lengths = {0, 1, 2, 10000, 9999};
  for (size_t cut = 1024; cut <= 10000; cut += 1024) {
    for (size_t near : {cut - 1, cut, cut + 1}) lengths.insert(near);
  }
  for (size_t cut : {55, 56, 63, 64, 65, 111, 112, 119, 120, 127, 128, 129, 191, 192, 255, 256, 257}) lengths.insert(cut);
  while (lengths.size() < 64) lengths.insert(rng() % 10001);
  return {lengths.begin(), lengths.end()};
}

// The keys up to the 4095 bytes an IO holds: around the blocks, at both ends,
// and random lengths between.
std::vector<size_t> KeyLengths(std::mt19937& rng) {
  std::vector<size_t> lengths = {0, 1, 20, 63, 64, 65, 127, 128, 129, 131, 4095};
  while (lengths.size() < 24) lengths.push_back(rng() % 4096);
  return lengths;
}

struct DoorJob {
  const char* name;
  int32_t algorithm;
  int32_t flags;
  const EVP_MD* (*md)();
  bool upper;
};

// Each digest of the Digest export, plain and keyed (HMAC with an empty key when plain:
// the key then goes unused), on a key and a message from memory (read in
// 1024-byte chunks) and from a file (4096-byte chunks), into memory: the text must
// be OpenSSL's HMAC of the same key and message, and exactly its characters.
TEST(DigestJobsAgainstOpenSsl, RandomKeysAndMessagesCutAtEveryChunkBoundary) {
  const DoorJob digests[] = {{"MD5", TELVARN_ALGORITHM_MD5, 0, &EVP_md5, false},
                             {"SHA-1", TELVARN_ALGORITHM_SHA1, 0, &EVP_sha1, true},
                             {"SHA-224", TELVARN_ALGORITHM_SHA224, 0, &EVP_sha224, true},
                             {"SHA-256", TELVARN_ALGORITHM_SHA256, 0, &EVP_sha256, true},
                             {"SHA-384", TELVARN_ALGORITHM_SHA384, 0, &EVP_sha384, true},
                             {"SHA-512", TELVARN_ALGORITHM_SHA512, 0, &EVP_sha512, true},
                             {"SHA-512/224", TELVARN_ALGORITHM_SHA512_224, 0, &EVP_sha512_224, true},
                             {"SHA-512/256", TELVARN_ALGORITHM_SHA512_256, 0, &EVP_sha512_256, true},
                             {"SHA3-224", TELVARN_ALGORITHM_SHA3_224, 0, &EVP_sha3_224, true},
                             {"SHA3-256", TELVARN_ALGORITHM_SHA3_256, 0, &EVP_sha3_256, true},
                             {"SHA3-384", TELVARN_ALGORITHM_SHA3_384, 0, &EVP_sha3_384, true},
                             {"SHA3-512", TELVARN_ALGORITHM_SHA3_512, 0, &EVP_sha3_512, true}};
  std::vector<DoorJob> jobs;
  for (const DoorJob& digest : digests) {
    jobs.push_back(digest);
    jobs.push_back({digest.name, digest.algorithm, TELVARN_DIGEST_KEYED, digest.md, digest.upper});
  }
  std::mt19937 rng(2104);
  const std::vector<size_t> lengths = LengthsAroundTheCuts(rng);
  const std::vector<size_t> key_lengths = KeyLengths(rng);
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("telvarn-hmac-" + std::to_string(rng()) + ".bin");
  const std::string file_name = file.string();
  const int32_t io = 0x4D4143;
  ASSERT_EQ(Telvarn_IO_Initialize(io, 0, 0, 0), 0);
  size_t runs = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::string message(lengths[i], '\0');
    for (char& c : message) c = static_cast<char>(rng());
    const std::string key = RandomKey(rng, key_lengths[i % key_lengths.size()]);
    { std::ofstream(file, std::ios::binary).write(message.data(), static_cast<std::streamsize>(message.size())); }
    for (const DoorJob& job : jobs) {
      SCOPED_TRACE(testing::Message() << (job.flags == TELVARN_DIGEST_KEYED ? "HMAC-" : "") << job.name << ", " << message.size() << "-byte message, " << key.size()
                                      << "-byte key");
      const std::string expected = job.flags == TELVARN_DIGEST_KEYED ? OpenSslHmac(job.md(), key, message, job.upper)
                                                                     : OpenSslHex(job.md(), message, job.upper);
      // Length 0 measures up to the NUL: the empty key.
      ASSERT_EQ(Telvarn_IO_Key_Set(key.c_str(), io, static_cast<int32_t>(key.size()), 0), 0);
      for (bool from_file : {false, true}) {
        char out[130];
        std::fill(std::begin(out), std::end(out), '#');
        TelvarnVarDesc in_var{}, out_var{};
        out_var.data = out;
        if (from_file) {
          in_var.data = const_cast<char*>(file_name.c_str());
          ASSERT_EQ(Telvarn_IO_Input_Set(&in_var, io, TELVARN_MODE_FILE, 0), 0);
        } else {
          // Length 0 would measure up to a NUL: an empty message is the empty text.
          in_var.data = const_cast<char*>(message.empty() ? "" : message.data());
          ASSERT_EQ(Telvarn_IO_Input_Set(&in_var, io, TELVARN_MODE_MEMORY, static_cast<int32_t>(message.size())), 0);
        }
        ASSERT_EQ(Telvarn_IO_Output_Set(&out_var, io, TELVARN_MODE_MEMORY, 129), 0);
        ASSERT_EQ(Telvarn_Digest(io, job.algorithm, job.flags, 0), 0);
        ASSERT_EQ(std::string(out, expected.size()), expected) << (from_file ? "file" : "memory");
        ASSERT_EQ(out[expected.size()], '#');
        ++runs;
      }
    }
  }
  std::filesystem::remove(file);
  std::printf("%zu digest jobs on %zu message lengths and %zu key lengths agree with OpenSSL\n", runs,
              lengths.size(), key_lengths.size());
}

}  // namespace
}  // namespace telvarn
