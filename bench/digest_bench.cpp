// Throughput of every digest, CRC, BLAKE3 and Base64 kernel variant beside OpenSSL or a bare read of the same buffers.
//
// Each context's Update runs over a 64 KiB and a 16 MiB buffer, once per variant the
// processor supports (read from the variant tables), beside OpenSSL's EVP digests
// and HMAC; the CRCs also run over 64 MiB, out of the cache, beside a bare read of
// the same buffer, and BLAKE3's hasher over 1, 16 and 64 MiB beside the same read
// (OpenSSL has no BLAKE3). The Base64 kernels encode the same buffers and decode their
// texts, on one line and in lines of 72, beside OpenSSL's one-line EVP_EncodeBlock
// and EVP_DecodeBlock. The ratios are printed at the end: digests to OpenSSL, CRCs
// to the read; with --benchmark_repetitions, of the medians.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "codec/base64.h"
#include "codec/base64_private.h"
#include "cpu/cpu_features.h"
#include "digest/blake2.h"
#include "digest/blake3.h"
#include "digest/crc.h"
#include "digest/dispatch.h"
#include "digest/hmac.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "digest/xxh3.h"
#include "memory_read.h"
#include "support/every_kernel_table.h"

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

void MemoryRead(benchmark::State& state) {
  const auto& buffer = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(bench::Read(buffer.data(), buffer.size()));
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

// The encoder's text of a buffer, trimmed as the decoder's caller trims it.
const std::string& Base64Text(size_t size, bool lines) {
  static std::map<std::pair<size_t, bool>, std::string> texts;
  std::string& text = texts[{size, lines}];
  if (text.empty()) {
    const auto& buffer = Buffer(size);
    text.resize(static_cast<size_t>(EncodedBase64Length(size, lines ? 1 : 0)));
    base64_internal::EncodePortable(text.data(), buffer.data(), size, lines);
    while (text.back() == '\r' || text.back() == '\n') text.pop_back();
  }
  return text;
}

// A kernel alone, into a separate block; bytes are those of the binary side.
void MeasureEncode(benchmark::State& state, Base64EncodeFn encode, bool lines) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto& buffer = Buffer(size);
  std::vector<char> text(static_cast<size_t>(EncodedBase64Length(size, lines ? 1 : 0)));
  for (auto _ : state) {
    encode(text.data(), buffer.data(), size, lines);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void MeasureDecode(benchmark::State& state, Base64DecodeFn decode, bool lines) {
  const auto size = static_cast<size_t>(state.range(0));
  const std::string& text = Base64Text(size, lines);
  const uint32_t drop = (text.back() == '=' ? 1u : 0u) + (text[text.size() - 2] == '=' ? 1u : 0u);
  std::vector<uint8_t> bytes(size + 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode(bytes.data(), text.data(), text.size(), drop));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void OpenSslBase64(benchmark::State& state, bool encode) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto& buffer = Buffer(size);
  const std::string& text = Base64Text(size, false);
  std::vector<unsigned char> out(text.size() + 4);
  for (auto _ : state) {
    if (encode) {
      EVP_EncodeBlock(out.data(), buffer.data(), static_cast<int>(size));
    } else {
      EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size()));
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Remembers each benchmark's bytes per second for the ratio table: of each run, or
// the median of the repetitions when there are several.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians[run.run_name.str()] = it->second;
      } else {
        rates[run.run_name.str()] = it->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  const std::map<std::string, double>& result() const { return medians.empty() ? rates : medians; }

 private:
  std::map<std::string, double> rates;
  std::map<std::string, double> medians;
};

// Calls each(prefix/variant, variant) for every variant of `table` the processor
// supports and names the others as skipped; the variants are read from the table,
// so new rows appear here without edits.
template <class Fn, class Each>
void ForEachSupported(const KernelTable<Fn>& table, const std::string& prefix, Each each) {
  for (const KernelVariant<Fn>& v : table) {
    if (v.supported(GetCpuFeatures())) {
      each(prefix + "/" + v.name, v);
    } else {
      std::printf("%s/%s: not supported by this processor, skipped\n", prefix.c_str(), v.name);
    }
  }
}

// One row per supported variant of a block-function table, named algorithm/variant.
template <class Fn, class AddFn, class MakeContext>
void AddVariants(const KernelTable<Fn>& table, const AddFn& add, MakeContext make) {
  ForEachSupported(table, table.name, [&](const std::string& name, const KernelVariant<Fn>& v) {
    add(name, [&v, make](benchmark::State& s) { Measure(s, [&v, make] { return make(v); }); });
  });
}

// "crc32 vpclmul_avx512, crc16 ...": the variant each table runs here.
template <const auto&... kTables>
std::string ActiveVariants(TableList<kTables...>) {
  std::string names;
  ((names += std::string(names.empty() ? "" : ", ") + kTables.name + " " + Active<kTables>().name), ...);
  return names;
}

void Register() {
  const int64_t kSizes[] = {64 << 10, 16 << 20};
  auto add = [&](const std::string& name, auto fn) {
    for (int64_t size : kSizes) benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(size);
  };
  // The CRCs run near the memory's rate: 64 MiB is out of every cache level.
  auto add_crc = [&](const std::string& name, auto fn) {
    add(name, fn);
    benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(int64_t{64} << 20);
  };
  AddVariants(kCrc32Kernels, add_crc, [](const CrcVariant& v) { return Crc32(v); });
  AddVariants(kCrc32cKernels, add_crc, [](const CrcVariant& v) { return Crc32c(v); });
  AddVariants(kCrc16Kernels, add_crc, [](const CrcVariant& v) { return Crc16Mcrf4xx(v); });
  AddVariants(kCrc64Kernels, add_crc, [](const Crc64Variant& v) { return Crc64Xz(v); });
  add_crc("memory_read", MemoryRead);
  // BLAKE3 from 1 MiB, where the hasher's whole-chunk runs fill every lane, to
  // 64 MiB, beside the bare read of the same buffer.
  benchmark::RegisterBenchmark("memory_read", MemoryRead)->Arg(int64_t{1} << 20);
  ForEachSupported(kBlake3Kernels, "blake3", [&](const std::string& name, const Blake3Variant& v) {
    for (int64_t size : {int64_t{1} << 20, int64_t{16} << 20, int64_t{64} << 20}) {
      benchmark::RegisterBenchmark(name.c_str(), [&v](benchmark::State& s) {
        Measure(s, [&v] { return Blake3Hasher(nullptr, v); });
      })->Arg(size);
    }
  });
  AddVariants(kMd5Kernels, add, [](const Md5Variant& v) { return Md5Context(v); });
  AddVariants(kSha1Kernels, add, [](const Sha1Variant& v) { return Sha1Context(v); });
  AddVariants(kSha256Kernels, add, [](const Sha256Variant& v) { return Sha256Context(v); });
  AddVariants(kSha512Kernels, add, [](const Sha512Variant& v) { return Sha512Context(v); });
  AddVariants(kBlake2bKernels, add, [](const Blake2bVariant& v) { return Blake2bContext(v); });
  AddVariants(kBlake2sKernels, add, [](const Blake2sVariant& v) { return Blake2sContext(v); });
  // The keccak absorb is measured as SHA3-256, the one OpenSSL is set beside.
  ForEachSupported(kKeccakKernels, "sha3_256", [&](const std::string& name, const KeccakVariant& v) {
    add(name, [&v](benchmark::State& s) { Measure(s, [&v] { return Sha3_256Context(v); }); });
  });
  // XXH3 runs near the memory's rate too.
  ForEachSupported(kXxh3Kernels, "xxh3", [&](const std::string& name, const Xxh3Variant& v) {
    add_crc(name, [&v](benchmark::State& s) { Measure(s, [&v] { return Xxh3Context(v); }); });
  });
  for (bool lines : {false, true}) {
    const std::string suffix = lines ? "_lines" : "";
    ForEachSupported(kBase64EncodeKernels, "b64_encode" + suffix,
                     [&](const std::string& name, const Base64EncodeVariant& v) {
                       add(name, [&v, lines](benchmark::State& s) { MeasureEncode(s, v.kernel, lines); });
                     });
    ForEachSupported(kBase64DecodeKernels, "b64_decode" + suffix,
                     [&](const std::string& name, const Base64DecodeVariant& v) {
                       add(name, [&v, lines](benchmark::State& s) { MeasureDecode(s, v.kernel, lines); });
                     });
  }
  // HMAC-MD5 takes the active MD5 variant; its inner hash is the MD5 rows above.
  add("hmac_md5", [](benchmark::State& s) {
    Measure(s, [] {
      HmacMd5 hmac;
      hmac.SetKey(reinterpret_cast<const uint8_t*>("key"), 3);
      return hmac;
    });
  });
  benchmark::AddCustomContext("active variants", ActiveVariants(EveryKernelTable{}));
  add("openssl/md5", [](benchmark::State& s) { OpenSsl(s, EVP_md5()); });
  add("openssl/hmac_md5", [](benchmark::State& s) { OpenSslHmacMd5(s); });
  add("openssl/sha1", [](benchmark::State& s) { OpenSsl(s, EVP_sha1()); });
  add("openssl/sha256", [](benchmark::State& s) { OpenSsl(s, EVP_sha256()); });
  add("openssl/sha512", [](benchmark::State& s) { OpenSsl(s, EVP_sha512()); });
  add("openssl/sha3_256", [](benchmark::State& s) { OpenSsl(s, EVP_sha3_256()); });
  add("openssl/blake2b", [](benchmark::State& s) { OpenSsl(s, EVP_blake2b512()); });
  add("openssl/blake2s", [](benchmark::State& s) { OpenSsl(s, EVP_blake2s256()); });
  add("openssl/b64_encode", [](benchmark::State& s) { OpenSslBase64(s, true); });
  add("openssl/b64_decode", [](benchmark::State& s) { OpenSslBase64(s, false); });
}

// Each digest beside OpenSSL's on the same buffer, each CRC beside the bare read.
void PrintRatios(const std::map<std::string, double>& rates) {
  std::printf("\n%-32s %12s %12s %8s\n", "context / size", "MB/s", "peer MB/s", "ratio");
  for (const auto& [name, rate] : rates) {
    if (name.rfind("openssl/", 0) == 0 || name.rfind("memory_read/", 0) == 0) continue;
    const std::string algorithm = name.substr(0, name.find_first_of("/"));
    const std::string size = name.substr(name.rfind('/'));
    const bool crc = algorithm.rfind("crc", 0) == 0 || algorithm == "blake3";
    auto peer = rates.find((crc ? "memory_read" : "openssl/" + algorithm) + size);
    if (peer == rates.end()) {
      std::printf("%-32s %12.1f %12s %8s\n", name.c_str(), rate / 1e6, "-", "-");
    } else {
      std::printf("%-32s %12.1f %12.1f %8.2f\n", name.c_str(), rate / 1e6, peer->second / 1e6,
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
  telvarn::PrintRatios(reporter.result());
  benchmark::Shutdown();
  return 0;
}
