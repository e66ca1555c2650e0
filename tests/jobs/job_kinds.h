// Every job export in one table, so that the rules every job keeps are tested on each, and the keyed jobs' reference texts.
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
    if constexpr (std::is_same_v<Hash, Sha1Context>) {
      return Hmac<Hash>(*kSha1Kernels.begin());
    } else if constexpr (std::is_same_v<Hash, Sha256Context>) {
      return Hmac<Hash>(*kSha256Kernels.begin());
    } else if constexpr (std::is_same_v<Hash, Sha512Context>) {
      return Hmac<Hash>(*kSha512Kernels.begin());
    } else {
      return Hmac<Hash>(*kMd5Kernels.begin());
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

inline std::vector<JobUnderTest> EveryJob(const Api& api) {
  return {{"CRC-32", api.crc32, 8, nullptr},
          {"CRC-16", api.crc16, 4, nullptr},
          {"MD5", api.md5, 32, nullptr},
          {"SHA-1", api.sha1, 40, nullptr},
          {"SHA-256", api.sha256, 64, nullptr},
          {"SHA-512", api.sha512, 128, nullptr},
          {"HMAC-MD5", api.md5_key, 32, &ReferenceHmac<Md5Context>},
          {"HMAC-SHA-1", api.sha1_key, 40, &ReferenceHmac<Sha1Context>},
          {"HMAC-SHA-256", api.sha256_key, 64, &ReferenceHmac<Sha256Context>},
          {"HMAC-SHA-512", api.sha512_key, 128, &ReferenceHmac<Sha512Context>}};
}

inline std::vector<JobUnderTest> KeyedJobs(const Api& api) {
  std::vector<JobUnderTest> keyed;
  for (const JobUnderTest& job : EveryJob(api)) {
    if (job.reference != nullptr) keyed.push_back(job);
  }
  return keyed;
}

}  // namespace telvarn::test
