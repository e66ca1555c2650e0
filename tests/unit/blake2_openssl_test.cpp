// BLAKE2b-512 and BLAKE2s-256, plain and keyed, on every compression variant against OpenSSL's EVP digests and BLAKE2 MACs.
#include <gtest/gtest.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/blake2.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

// The plain hash by EVP; the keyed one by the BLAKE2 MAC, which takes 1 to 64 (32) key bytes.
std::string OpenSslBlake2(bool big, const std::string& key, const std::string& message) {
  unsigned char out[64];
  size_t length = 0;
  if (key.empty()) {
    unsigned int digest_length = 0;
    EVP_Digest(message.data(), message.size(), out, &digest_length, big ? EVP_blake2b512() : EVP_blake2s256(),
               nullptr);
    return test::LowerHex(out, digest_length);
  }
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, big ? "BLAKE2BMAC" : "BLAKE2SMAC", nullptr);
  EVP_MAC_CTX* context = EVP_MAC_CTX_new(mac);
  EVP_MAC_init(context, reinterpret_cast<const unsigned char*>(key.data()), key.size(), nullptr);
  EVP_MAC_update(context, reinterpret_cast<const unsigned char*>(message.data()), message.size());
  EVP_MAC_final(context, out, &length, sizeof out);
  EVP_MAC_CTX_free(context);
  EVP_MAC_free(mac);
  return test::LowerHex(out, length);
}

std::string RandomBytes(std::mt19937& rng, size_t length) {
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// Every length to 300, and lengths around the blocks, the worker frame's chunks
// and its spans of 64 KiB; keys of no byte, one, and around the longest; the
// message fed whole and in random pieces.
template <class Context>
void ExpectOpenSslsAnswers(bool big) {
  std::mt19937 rng(big ? 2 : 7);
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 300; ++length) lengths.push_back(length);
  for (size_t around : {511, 1024, 4096, 65536, 131072}) {
    for (size_t length = around - 1; length <= around + 1; ++length) lengths.push_back(length);
  }
  const size_t most = Context::kMaxKeyBytes;
  for (const auto& variant : Context::kKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string(Context::kKernels.name) + " " + variant.name);
    for (size_t key_length : {size_t{0}, size_t{1}, most / 2 + 1, most - 1, most}) {
      const std::string key = RandomBytes(rng, key_length);
      for (size_t length : lengths) {
        SCOPED_TRACE(std::to_string(key_length) + "-byte key, " + std::to_string(length) + " bytes");
        const std::string message = RandomBytes(rng, length);
        const std::string expected = OpenSslBlake2(big, key, message);
        const auto* key_bytes = reinterpret_cast<const uint8_t*>(key.data());
        Context whole(variant, key_bytes, key.size());
        whole.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
        ASSERT_EQ(whole.HexDigest(), expected);
        Context pieces(variant, key_bytes, key.size());
        for (size_t done = 0; done < length;) {
          const size_t piece = std::min<size_t>(length - done, rng() % 3 == 0 ? rng() % 3 : rng() % 700);
          pieces.Update(reinterpret_cast<const uint8_t*>(message.data()) + done, piece);
          done += piece;
        }
        ASSERT_EQ(pieces.HexDigest(), expected);
      }
    }
  }
}

TEST(Blake2OpenSslTest, Blake2bPlainAndKeyedOnEveryVariant) { ExpectOpenSslsAnswers<Blake2bContext>(true); }
TEST(Blake2OpenSslTest, Blake2sPlainAndKeyedOnEveryVariant) { ExpectOpenSslsAnswers<Blake2sContext>(false); }

}  // namespace
}  // namespace telvarn
