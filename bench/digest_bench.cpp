// Throughput of every digest context's Update (each block-function variant) beside
// OpenSSL's EVP digests on the same buffers, with the ratios printed at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

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

void Register() {
  const int64_t kSizes[] = {64 << 10, 16 << 20};
  auto add = [&](const std::string& name, auto fn) {
    for (int64_t size : kSizes) benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(size);
  };
  add("crc32", [](benchmark::State& s) { Measure(s, [] { return Crc32(); }); });
  add("crc16", [](benchmark::State& s) { Measure(s, [] { return Crc16Mcrf4xx(); }); });
  add("md5", [](benchmark::State& s) { Measure(s, [] { return Md5Context(); }); });
  add("hmac_md5", [](benchmark::State& s) {
    Measure(s, [] {
      HmacMd5 hmac;
      hmac.SetKey(reinterpret_cast<const uint8_t*>("key"), 3);
      return hmac;
    });
  });
  for (const Sha1Variant& v : Sha1Variants()) {
    if (!v.supported(GetCpuFeatures())) continue;
    add(std::string("sha1/") + v.name,
        [&v](benchmark::State& s) { Measure(s, [&v] { return Sha1Context(v); }); });
  }
  for (const Sha256Variant& v : Sha256Variants()) {
    if (!v.supported(GetCpuFeatures())) continue;
    add(std::string("sha256/") + v.name,
        [&v](benchmark::State& s) { Measure(s, [&v] { return Sha256Context(v); }); });
  }
  for (const Sha512Variant& v : Sha512Variants()) {
    if (!v.supported(GetCpuFeatures())) continue;
    add(std::string("sha512/") + v.name,
        [&v](benchmark::State& s) { Measure(s, [&v] { return Sha512Context(v); }); });
  }
  add("openssl/md5", [](benchmark::State& s) { OpenSsl(s, EVP_md5()); });
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
