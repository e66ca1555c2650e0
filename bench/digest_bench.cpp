// Throughput of every block-function variant of every digest and CRC beside OpenSSL on the same buffers.
//
// Each context's Update runs over a 64 KiB and a 16 MiB buffer, once per variant the
// processor supports (read from the variant tables), beside OpenSSL's EVP digests
// and HMAC; the ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "digest/block_functions.h"
#include "digest/cpu_features.h"
#include "digest/crc.h"
#include "digest/hmac_md5.h"
#include "digest/md5.h"
#include "digest/sha.h"

namespace telvarn {
namespace {

const std::vector<uint8_t>& Buffer(size_t size) {
  static std::map<size_t, std::vector<uint8_t>> buffers;
  auto& buffer = buffers[size];
  if (buffer.size() != size) {
    buffer.resize(size);
    for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  return buffer;
}

template <class MakeContext>
void Measure(benchmark::State& state, MakeContext make) {
  const auto& buffer = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto context = make();
    context.Update(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(context);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void OpenSsl(benchmark::State& state, const EVP_MD* md) {
  const auto& buffer = Buffer(static_cast<size_t>(state.range(0)));
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, buffer.data(), buffer.size());
    EVP_DigestFinal_ex(ctx, digest, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void OpenSslHmacMd5(benchmark::State& state) {
  const auto& buffer = Buffer(static_cast<size_t>(state.range(0)));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    HMAC(EVP_md5(), "key", 3, buffer.data(), buffer.size(), digest, &length);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Remembers each benchmark's bytes per second for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

// One row per supported variant of a block-function table, named algorithm/variant;
// the variants are read from the table, so new rows appear here without edits.
template <class Fn, class AddFn, class MakeContext>
void AddVariants(const char* algorithm, VariantList<Fn> variants, const AddFn& add, MakeContext make) {
  std::string names;
  for (const BlockVariant<Fn>& v : variants) {
    if (!v.supported(GetCpuFeatures())) {
      std::printf("%s/%s: not supported by this processor, skipped\n", algorithm, v.name);
      continue;
    }
    add(std::string(algorithm) + "/" + v.name,
        [&v, make](benchmark::State& s) { Measure(s, [&v, make] { return make(v); }); });
  }
}

void Register() {
  const int64_t kSizes[] = {64 << 10, 16 << 20};
  auto add = [&](const std::string& name, auto fn) {
    for (int64_t size : kSizes) benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(size);
  };
  AddVariants("crc32", Crc32Variants(), add, [](const CrcVariant& v) { return Crc32(v); });
  AddVariants("crc16", Crc16Variants(), add, [](const CrcVariant& v) { return Crc16Mcrf4xx(v); });
  AddVariants("md5", Md5Variants(), add, [](const Md5Variant& v) { return Md5Context(v); });
  AddVariants("sha1", Sha1Variants(), add, [](const Sha1Variant& v) { return Sha1Context(v); });
  AddVariants("sha256", Sha256Variants(), add, [](const Sha256Variant& v) { return Sha256Context(v); });
  AddVariants("sha512", Sha512Variants(), add, [](const Sha512Variant& v) { return Sha512Context(v); });
  // HMAC-MD5 takes the active MD5 variant; its inner hash is the MD5 rows above.
  add("hmac_md5", [](benchmark::State& s) {
    Measure(s, [] {
      HmacMd5 hmac;
      hmac.SetKey(reinterpret_cast<const uint8_t*>("key"), 3);
      return hmac;
    });
  });
  benchmark::AddCustomContext(
      "active variants", std::string("crc32 ") + ActiveCrc32().name + ", crc16 " + ActiveCrc16().name +
                             ", md5 " + ActiveMd5().name + ", sha1 " + ActiveSha1().name + ", sha256 " +
                             ActiveSha256().name + ", sha512 " + ActiveSha512().name);
  add("openssl/md5", [](benchmark::State& s) { OpenSsl(s, EVP_md5()); });
  add("openssl/hmac_md5", [](benchmark::State& s) { OpenSslHmacMd5(s); });
  add("openssl/sha1", [](benchmark::State& s) { OpenSsl(s, EVP_sha1()); });
  add("openssl/sha256", [](benchmark::State& s) { OpenSsl(s, EVP_sha256()); });
  add("openssl/sha512", [](benchmark::State& s) { OpenSsl(s, EVP_sha512()); });
}

void PrintRatios(const std::map<std::string, double>& rates) {
  std::printf("\n%-28s %12s %12s %8s\n", "context / size", "MB/s", "OpenSSL MB/s", "ratio");
  for (const auto& [name, rate] : rates) {
    if (name.rfind("openssl/", 0) == 0) continue;
    const std::string algorithm = name.substr(0, name.find_first_of("/"));
    const std::string size = name.substr(name.rfind('/'));
    auto peer = rates.find("openssl/" + algorithm + size);
    if (peer == rates.end()) {
      std::printf("%-28s %12.1f %12s %8s\n", name.c_str(), rate / 1e6, "-", "-");
    } else {
      std::printf("%-28s %12.1f %12.1f %8.2f\n", name.c_str(), rate / 1e6, peer->second / 1e6,
                  rate / peer->second);
    }
  }
}

}  // namespace
}  // namespace telvarn

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  telvarn::Register();
  telvarn::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  telvarn::PrintRatios(reporter.rates);
  benchmark::Shutdown();
  return 0;
}
