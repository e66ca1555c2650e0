// Digest contexts against OpenSSL's libcrypto on random messages fed in random pieces.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <random>
#include <string>

#include "digest/hmac.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/x86/cpu_features.h"

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

std::string OpenSslHmacMd5(const std::string& key, const std::string& message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length);
  std::string text;
  char pair[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
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
    }
    for (const Sha512Variant& v : kSha512Kernels) {
      if (!v.supported(GetCpuFeatures())) continue;
      Sha512Context sha(v);
      FeedInPieces(sha, message, rng_);
      EXPECT_EQ(sha.Finish(), OpenSslHex(EVP_sha512(), message, true)) << v.name;
    }
  }
}

TEST_F(AgainstOpenSsl, Md5AndHmacMd5OnRandomMessagesAndKeys) {
  for (int round = 0; round < 12; ++round) {
    const std::string message = RandomMessage();
    SCOPED_TRACE(message.size());
    Md5Context md5;
    FeedInPieces(md5, message, rng_);
    EXPECT_EQ(md5.HexDigest(), OpenSslHex(EVP_md5(), message, false));

    std::string key(rng_() % 200, '\0');
    for (char& c : key) c = static_cast<char>(1 + rng_() % 255);
    std::string area = key;
    area.resize(4096, '\0');
    HmacMd5 hmac;
    hmac.SetKey(reinterpret_cast<const uint8_t*>(area.data()), area.size());
    FeedInPieces(hmac, message, rng_);
    EXPECT_EQ(hmac.HexDigest(), OpenSslHmacMd5(key, message)) << key.size() << "-byte key";
  }
}

}  // namespace
}  // namespace telvarn
