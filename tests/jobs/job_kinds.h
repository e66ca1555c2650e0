// Every job export and every digest of the Digest export in one table, so that the rules every job keeps are tested on each, and the keyed jobs' reference texts.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "boundary/key_forms.h"
#include "codec/hex.h"
#include "digest/blake2.h"
#include "digest/blake3.h"
#include "digest/hmac.h"
#include "jobs/api.h"

namespace telvarn::test {

// The keyed digest of `message` under the key text in `key_area` (up to its first
// NUL), on the portable block function: the jobs run the processor's best, so the
// two differ wherever the processor has a faster one.
template <class Hash>
std::string ReferenceHmac(const std::string& key_area, const std::string& message) {
  auto hmac = [] {
    if constexpr (std::is_same_v<Hash, Md5Context>) {
      return Hmac<Hash>(*kMd5Kernels.begin());
    } else {
      return Hmac<Hash>(*Hash::kKernels.begin());
    }
  }();
  hmac.SetKey(reinterpret_cast<const uint8_t*>(key_area.data()), key_area.size());
  hmac.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  return hmac.HexDigest();
}

// BLAKE2's own keyed hash of `message` under the key text in `key_area` (up to its
// first NUL, at most the digest's key length), on the portable compression.
template <class Context>
std::string ReferenceBlake2(const std::string& key_area, const std::string& message) {
  const size_t key_length = key_area.find('\0') == std::string::npos ? key_area.size() : key_area.find('\0');
  Context context(*Context::kKernels.begin(), reinterpret_cast<const uint8_t*>(key_area.data()), key_length);
  context.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  return context.HexDigest();
}

inline std::string Blake3Text(const uint8_t* key, const std::string& message) {
  Blake3Hasher hasher(key, *kBlake3Kernels.begin());
  hasher.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  uint8_t out[kBlake3OutLength];
  hasher.Finalize(out, sizeof out);
  std::string text(2 * sizeof out, '\0');
  WriteBytesHex(out, sizeof out, /*upper=*/false, &text[0]);
  return text;
}

// BLAKE3's hash of `message` on the portable kernel, on one thread.
inline std::string ReferenceBlake3Plain(const std::string& message) { return Blake3Text(nullptr, message); }

// BLAKE3's keyed hash of `message` under the key text in `key_area`: 32 bytes, or
// the 64 hexadecimal digits of 32 bytes, on the portable kernel.
inline std::string ReferenceBlake3(const std::string& key_area, const std::string& message) {
  uint8_t key[kBlake3KeyLength];
  if (key_area.size() > kBlake3KeyLength && key_area[kBlake3KeyLength] != '\0') {
    ReadBytesHex(reinterpret_cast<const uint8_t*>(key_area.data()), kBlake3KeyLength, key);
  } else {
    std::memcpy(key, key_area.data(), kBlake3KeyLength);
  }
  return Blake3Text(key, message);
}

struct JobUnderTest {
  const char* name;
  JobExport run;
  size_t result_length;
  // The keyed jobs: ReferenceHmac of their hash; nullptr for the others.
  std::string (*reference)(const std::string& key_area, const std::string& message);
  // The longest key text the keyed job takes: the key area's, or its own keyed
  // mode's (a longer one makes the launch return -1).
  size_t longest_key = 4095;
};

// The digest context of each keyed digest, for its reference text.
template <int32_t kAlgorithm>
struct HashOf;
template <> struct HashOf<TELVARN_ALGORITHM_MD5> { using type = Md5Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA1> { using type = Sha1Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA256> { using type = Sha256Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA512> { using type = Sha512Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA224> { using type = Sha224Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA384> { using type = Sha384Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA512_224> { using type = Sha512_224Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA512_256> { using type = Sha512_256Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA3_224> { using type = Sha3_224Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA3_256> { using type = Sha3_256Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA3_384> { using type = Sha3_384Context; };
template <> struct HashOf<TELVARN_ALGORITHM_SHA3_512> { using type = Sha3_512Context; };

template <> struct HashOf<TELVARN_ALGORITHM_BLAKE2B> { using type = Blake2bContext; };
template <> struct HashOf<TELVARN_ALGORITHM_BLAKE2S> { using type = Blake2sContext; };

template <int32_t kAlgorithm, KeyForm kForm>
constexpr auto kReferenceOf = [] {
  std::string (*reference)(const std::string&, const std::string&) = nullptr;
  if constexpr (kForm == KeyForm::kHmac) reference = &ReferenceHmac<typename HashOf<kAlgorithm>::type>;
  if constexpr (kAlgorithm == TELVARN_ALGORITHM_BLAKE3) {
    reference = &ReferenceBlake3;
  } else if constexpr (kForm == KeyForm::kOwn) {
    reference = &ReferenceBlake2<typename HashOf<kAlgorithm>::type>;
  }
  return reference;
}();

template <int32_t kAlgorithm, KeyForm kForm>
constexpr size_t kLongestKeyOf = [] {
  if constexpr (kAlgorithm == TELVARN_ALGORITHM_BLAKE3) {
    return kBlake3KeyLength;
  } else if constexpr (kForm == KeyForm::kOwn) {
    return HashOf<kAlgorithm>::type::kMaxKeyBytes;
  } else {
    return size_t{4095};
  }
}();

// Every digest through the Digest export, from the module's table: the plain forms,
// then the keyed ones. BLAKE3's keyed hash takes only a key of exactly 32 bytes (or
// 64 hexadecimal digits), where these tests set keys of every length or none: it
// has tests of its own (KeyedBlake3Job), and its plain form runs every job rule
// here on the same code.
inline std::vector<JobUnderTest> EveryDoorJob(const Api& api) {
  std::vector<JobUnderTest> jobs = {
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job) \
  {"Digest " name, JobExport(api.digest, number, false), digits, nullptr},
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
  };
#define TELVARN_ALGORITHM(number, id, name, command, digits, key_form, key_rule, plain_job, keyed_job) \
  if constexpr ((key_form) != KeyForm::kNone && (number) != TELVARN_ALGORITHM_BLAKE3) {               \
    jobs.push_back({(key_form) == KeyForm::kHmac ? "Digest HMAC-" name : "Digest keyed " name,         \
                    JobExport(api.digest, number, true), digits, kReferenceOf<number, key_form>,         \
                    kLongestKeyOf<number, key_form>});                                                  \
  }
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
  return jobs;
}

inline JobUnderTest KeyedBlake3Job(const Api& api) {
  return {"Digest keyed BLAKE3", JobExport(api.digest, TELVARN_ALGORITHM_BLAKE3, true), 2 * kBlake3OutLength,
          &ReferenceBlake3, kBlake3KeyLength};
}

inline std::vector<JobUnderTest> EveryJob(const Api& api) {
  std::vector<JobUnderTest> jobs = EveryDoorJob(api);
  jobs.insert(jobs.begin(), {{"CRC-32", api.crc32, 8, nullptr},
          {"CRC-16", api.crc16, 4, nullptr},
          {"MD5", api.md5, 32, nullptr},
          {"SHA-1", api.sha1, 40, nullptr},
          {"SHA-256", api.sha256, 64, nullptr},
          {"SHA-512", api.sha512, 128, nullptr},
          {"HMAC-MD5", api.md5_key, 32, &ReferenceHmac<Md5Context>},
          {"HMAC-SHA-1", api.sha1_key, 40, &ReferenceHmac<Sha1Context>},
          {"HMAC-SHA-256", api.sha256_key, 64, &ReferenceHmac<Sha256Context>},
          {"HMAC-SHA-512", api.sha512_key, 128, &ReferenceHmac<Sha512Context>}});
  return jobs;
}

inline std::vector<JobUnderTest> KeyedJobs(const Api& api) {
  std::vector<JobUnderTest> keyed;
  for (const JobUnderTest& job : EveryJob(api)) {
    if (job.reference != nullptr) keyed.push_back(job);
  }
  return keyed;
}

}  // namespace telvarn::test
