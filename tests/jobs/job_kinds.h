// Every job export and every digest of the Digest export in one table, so that the rules every job keeps are tested on each, and the keyed jobs' reference texts.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

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

struct JobUnderTest {
  const char* name;
  JobExport run;
  size_t result_length;
  // The keyed jobs: ReferenceHmac of their hash; nullptr for the others.
  std::string (*reference)(const std::string& key_area, const std::string& message);
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

template <int32_t kAlgorithm, bool kKeyed>
constexpr auto kReferenceOf = [] {
  std::string (*reference)(const std::string&, const std::string&) = nullptr;
  if constexpr (kKeyed) reference = &ReferenceHmac<typename HashOf<kAlgorithm>::type>;
  return reference;
}();

// Every digest through the Digest export, from the module's table: the plain forms,
// then the keyed ones.
inline std::vector<JobUnderTest> EveryDoorJob(const Api& api) {
  std::vector<JobUnderTest> jobs = {
#define TELVARN_ALGORITHM(number, id, name, command, digits, keyed, plain_job, keyed_job) \
  {"Digest " name, JobExport(api.digest, number, false), digits, nullptr},
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
  };
#define TELVARN_ALGORITHM(number, id, name, command, digits, keyed, plain_job, keyed_job) \
  if (keyed) {                                                                             \
    jobs.push_back({"Digest HMAC-" name, JobExport(api.digest, number, true), digits,      \
                    kReferenceOf<number, keyed>});                                        \
  }
#include "boundary/algorithm_table.inc"
#undef TELVARN_ALGORITHM
  return jobs;
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
