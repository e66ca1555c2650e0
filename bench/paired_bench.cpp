// Each digest and CRC context as the module runs it, timed back to back with its peer (OpenSSL, or a bare read of the same buffer) in alternating rounds.
//
// On a machine shared with other work a rate moves from one second to the next;
// a ratio measured within one round, the context and its peer a few milliseconds
// apart on the same buffer, moves much less. Each round times every job once, in an
// order that turns by one each round: the context over the whole buffer in one
// Update, the context fed in the jobs' 1024-byte pieces, and the peer in one call,
// in that order in even rounds and the reverse in odd ones.
// Times are process CPU time. The report gives, per job, the median over the rounds
// of each rate and of each per-round ratio, with the load average before and after.
//
//   telvarn_paired_bench [--rounds N] [--digest-mib N] [--crc-mib N]
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/blake2.h"
#include "digest/crc.h"
#include "digest/dispatch.h"
#include "digest/hmac.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "memory_read.h"

namespace telvarn {
namespace {

constexpr size_t kJobPiece = 1024;

double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

// Keeps a result alive without the compiler seeing through it.
volatile uint64_t g_sink;

template <class Context, class Result>
std::function<void(const uint8_t*, size_t, size_t)> ContextRun(Result result) {
  return [result](const uint8_t* data, size_t size, size_t piece) {
    Context context;
    for (size_t at = 0; at < size; at += piece) context.Update(data + at, std::min(piece, size - at));
    g_sink = g_sink + result(context);
  };
}

template <class Hash>
std::function<void(const uint8_t*, size_t, size_t)> HmacRun() {
  return [](const uint8_t* data, size_t size, size_t piece) {
    Hmac<Hash> hmac;
    hmac.SetKey(reinterpret_cast<const uint8_t*>("benchmark key"), 13);
    for (size_t at = 0; at < size; at += piece) hmac.Update(data + at, std::min(piece, size - at));
    g_sink = g_sink + static_cast<uint64_t>(hmac.HexDigest()[0]);
  };
}

std::function<void(const uint8_t*, size_t)> OpenSslRun(const EVP_MD* md) {
  return [md](const uint8_t* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    EVP_Digest(data, size, digest, nullptr, md, nullptr);
    g_sink = g_sink + digest[0];
  };
}

std::function<void(const uint8_t*, size_t)> OpenSslHmacRun(const EVP_MD* md) {
  return [md](const uint8_t* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(md, "benchmark key", 13, data, size, digest, &length);
    g_sink = g_sink + digest[0];
  };
}

struct Job {
  std::string name;
  std::string variant;
  std::string peer;
  bool crc;
  std::function<void(const uint8_t*, size_t, size_t)> context;
  std::function<void(const uint8_t*, size_t)> peer_run;
  std::vector<double> whole, pieces, peer_rate, whole_ratio, pieces_ratio;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Rate(size_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

}  // namespace
}  // namespace telvarn

int main(int argc, char** argv) {
  using namespace telvarn;
  int rounds = 15;
  size_t digest_mib = 16, crc_mib = 64;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const long value = std::strtol(argv[i + 1], nullptr, 10);
    if (value <= 0) {
      std::fprintf(stderr, "%s wants a positive number\n", option.c_str());
      return 2;
    }
    if (option == "--rounds") {
      rounds = static_cast<int>(value);
    } else if (option == "--digest-mib") {
      digest_mib = static_cast<size_t>(value);
    } else if (option == "--crc-mib") {
      crc_mib = static_cast<size_t>(value);
    } else {
      std::fprintf(stderr, "usage: %s [--rounds N] [--digest-mib N] [--crc-mib N]\n", argv[0]);
      return 2;
    }
  }
  const size_t size = std::max(digest_mib, crc_mib) << 20;
  std::vector<uint8_t> buffer(size);
  for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<uint8_t>(i * 131 + 7);

  const auto finish = [](auto& context) { return static_cast<uint64_t>(context.Finish()[0]); };
  const auto read = [](const uint8_t* data, size_t count) { g_sink = g_sink + bench::Read(data, count); };
  std::vector<Job> jobs;
  jobs.push_back({"CRC-32", Active<kCrc32Kernels>().name, "memory_read", true,
                  ContextRun<Crc32>([](Crc32& c) { return uint64_t{c.value()}; }), read, {}, {}, {}, {}, {}});
  jobs.push_back({"CRC-32C", Active<kCrc32cKernels>().name, "memory_read", true,
                  ContextRun<Crc32c>([](Crc32c& c) { return uint64_t{c.value()}; }), read, {}, {}, {}, {}, {}});
  jobs.push_back({"CRC-16", Active<kCrc16Kernels>().name, "memory_read", true,
                  ContextRun<Crc16Mcrf4xx>([](Crc16Mcrf4xx& c) { return uint64_t{c.value()}; }), read, {}, {}, {},
                  {}, {}});
  jobs.push_back({"CRC-64", Active<kCrc64Kernels>().name, "memory_read", true,
                  ContextRun<Crc64Xz>([](Crc64Xz& c) { return c.value(); }), read, {}, {}, {}, {}, {}});
  jobs.push_back({"MD5", Active<kMd5Kernels>().name, "openssl_md5", false,
                  ContextRun<Md5Context>([](Md5Context& c) { return static_cast<uint64_t>(c.HexDigest()[0]); }),
                  OpenSslRun(EVP_md5()), {}, {}, {}, {}, {}});
  jobs.push_back({"HMAC-MD5", Active<kMd5Kernels>().name, "openssl_hmac_md5", false, HmacRun<Md5Context>(),
                  OpenSslHmacRun(EVP_md5()), {}, {}, {}, {}, {}});
  jobs.push_back({"SHA-1", Active<kSha1Kernels>().name, "openssl_sha1", false, ContextRun<Sha1Context>(finish),
                  OpenSslRun(EVP_sha1()), {}, {}, {}, {}, {}});
  jobs.push_back({"SHA-256", Active<kSha256Kernels>().name, "openssl_sha256", false,
                  ContextRun<Sha256Context>(finish), OpenSslRun(EVP_sha256()), {}, {}, {}, {}, {}});
  jobs.push_back({"SHA-512", Active<kSha512Kernels>().name, "openssl_sha512", false,
                  ContextRun<Sha512Context>(finish), OpenSslRun(EVP_sha512()), {}, {}, {}, {}, {}});
  jobs.push_back({"SHA3-256", Active<kKeccakKernels>().name, "openssl_sha3_256", false,
                  ContextRun<Sha3_256Context>(finish), OpenSslRun(EVP_sha3_256()), {}, {}, {}, {}, {}});
  jobs.push_back({"BLAKE2b-512", Active<kBlake2bKernels>().name, "openssl_blake2b512", false,
                  ContextRun<Blake2bContext>([](Blake2bContext& c) { return static_cast<uint64_t>(c.Digest()[0]); }),
                  OpenSslRun(EVP_blake2b512()), {}, {}, {}, {}, {}});
  jobs.push_back({"BLAKE2s-256", Active<kBlake2sKernels>().name, "openssl_blake2s256", false,
                  ContextRun<Blake2sContext>([](Blake2sContext& c) { return static_cast<uint64_t>(c.Digest()[0]); }),
                  OpenSslRun(EVP_blake2s256()), {}, {}, {}, {}, {}});
  jobs.push_back({"HMAC-SHA-1", Active<kSha1Kernels>().name, "openssl_hmac_sha1", false, HmacRun<Sha1Context>(),
                  OpenSslHmacRun(EVP_sha1()), {}, {}, {}, {}, {}});
  jobs.push_back({"HMAC-SHA-256", Active<kSha256Kernels>().name, "openssl_hmac_sha256", false,
                  HmacRun<Sha256Context>(), OpenSslHmacRun(EVP_sha256()), {}, {}, {}, {}, {}});
  jobs.push_back({"HMAC-SHA-512", Active<kSha512Kernels>().name, "openssl_hmac_sha512", false,
                  HmacRun<Sha512Context>(), OpenSslHmacRun(EVP_sha512()), {}, {}, {}, {}, {}});
  jobs.push_back({"HMAC-SHA3-256", Active<kKeccakKernels>().name, "openssl_hmac_sha3_256", false,
                  HmacRun<Sha3_256Context>(), OpenSslHmacRun(EVP_sha3_256()), {}, {}, {}, {}, {}});

  const std::string load_before = LoadAverage();
  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < jobs.size(); ++k) {
      Job& job = jobs[(k + static_cast<size_t>(round)) % jobs.size()];
      const size_t bytes = (job.crc ? crc_mib : digest_mib) << 20;
      const auto time = [](const std::function<void()>& run) {
        const double start = CpuSeconds();
        run();
        return CpuSeconds() - start;
      };
      const auto run_whole = [&] { job.context(buffer.data(), bytes, bytes); };
      const auto run_pieces = [&] { job.context(buffer.data(), bytes, kJobPiece); };
      const auto run_peer = [&] { job.peer_run(buffer.data(), bytes); };
      // The three in one order in even rounds and the reverse in odd ones: what the
      // run before leaves in the caches favours neither side.
      double whole, pieces, peer;
      if (round % 2 == 0) {
        whole = time(run_whole);
        pieces = time(run_pieces);
        peer = time(run_peer);
      } else {
        peer = time(run_peer);
        pieces = time(run_pieces);
        whole = time(run_whole);
      }
      job.whole.push_back(Rate(bytes, whole));
      job.pieces.push_back(Rate(bytes, pieces));
      job.peer_rate.push_back(Rate(bytes, peer));
      job.whole_ratio.push_back(peer / whole);
      job.pieces_ratio.push_back(peer / pieces);
    }
  }
  std::printf("CPU time; %d rounds; digests over %zu MiB, CRCs over %zu MiB; load average before %s, after %s\n\n",
              rounds, digest_mib, crc_mib, load_before.c_str(), LoadAverage().c_str());
  std::printf("| job | variant | MB/s, one call | MB/s, 1024-byte calls | peer | peer MB/s | one call / peer | "
              "1024-byte calls / peer |\n|---|---|---:|---:|---|---:|---:|---:|\n");
  for (const Job& job : jobs) {
    std::printf("| %s | %s | %.1f | %.1f | %s | %.1f | %.2f | %.2f |\n", job.name.c_str(), job.variant.c_str(),
                Median(job.whole), Median(job.pieces), job.peer.c_str(), Median(job.peer_rate),
                Median(job.whole_ratio), Median(job.pieces_ratio));
  }
  return 0;
}
