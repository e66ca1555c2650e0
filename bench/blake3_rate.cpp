// BLAKE3's hasher with each kernel variant over 1, 16 and 64 MiB (MB/s of process CPU time), and the shared hasher's spans with and without helpers (MB/s of wall time): a program of its own, so that the 32-bit build measures it too.
//
// Google Benchmark has no i386 package, so the linux32 preset (configured with
// -DTELVARN_BUILD_BENCH=ON) builds only this. Each size keeps the best of
// `repeats` runs (the first argument, 5 by default); one line per variant and size:
// `blake3/<variant>/<bytes> <MB/s>`, then the bare read of the same buffer. Then
// 64 MiB fed to the shared hasher in spans of 64 KiB to 1 MiB, each span shared
// (the least shared span set to it) among the helpers this process would get, and
// not shared: `shared/<span>/<helpers> <MB/s>`, which tells from what span on
// sharing pays.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/blake3.h"
#include "digest/blake3_shared.h"
#include "digest/dispatch.h"
#include "memory_read.h"

namespace {

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <class Run>
double BestRate(int repeats, size_t bytes, Run run, double (*clock)() = CpuSeconds) {
  double best = 0;
  for (int i = 0; i < repeats; ++i) {
    const double start = clock();
    run();
    const double seconds = clock() - start;
    const double rate = static_cast<double>(bytes) / seconds / 1e6;
    if (seconds > 0 && rate > best) best = rate;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace telvarn;
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
  std::printf("pointer size %u bytes; blake3 runs %s\n", static_cast<unsigned>(sizeof(void*)),
              Active<kBlake3Kernels>().name);
  for (size_t size : {size_t{1} << 20, size_t{16} << 20, size_t{64} << 20}) {
    std::vector<uint8_t> buffer(size);
    for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<uint8_t>(i * 131 + 7);
    for (const Blake3Variant& variant : kBlake3Kernels) {
      if (!variant.supported(GetCpuFeatures())) {
        std::printf("blake3/%s: not supported by this processor, skipped\n", variant.name);
        continue;
      }
      uint8_t out[kBlake3OutLength];
      const double rate = BestRate(repeats, size, [&] {
        Blake3Hasher hasher(nullptr, variant);
        hasher.Update(buffer.data(), buffer.size());
        if (!hasher.Finalize(out, sizeof out)) std::abort();
      });
      std::printf("blake3/%s/%zu %.0f\n", variant.name, size, rate);
    }
    volatile uint64_t sink = 0;
    const double read = BestRate(repeats, size, [&] { sink = sink + bench::Read(buffer.data(), buffer.size()); });
    std::printf("memory_read/%zu %.0f\n", size, read);
  }

  const size_t total = size_t{64} << 20;
  std::vector<uint8_t> buffer(total);
  for (size_t i = 0; i < total; ++i) buffer[i] = static_cast<uint8_t>(i * 131 + 7);
  const uint32_t helpers = Blake3SharedHasher::HelpersForThisProcess();
  std::printf("shared hasher: %u helpers, spans shared from %zu bytes by default\n", helpers,
              Blake3SharedHasher::kSharedBytes);
  for (size_t span = size_t{64} << 10; span <= size_t{1} << 20; span *= 2) {
    for (const uint32_t count : {uint32_t{0}, helpers}) {
      uint8_t out[kBlake3OutLength];
      const double rate = BestRate(
          repeats, total,
          [&] {
            Blake3SharedHasher hasher(nullptr, count, span);
            for (size_t at = 0; at < total; at += span) hasher.Update(buffer.data() + at, span);
            hasher.Finalize(out);
          },
          WallSeconds);
      std::printf("shared/%zu/%u %.0f\n", span, count, rate);
      if (helpers == 0) break;
    }
  }
  return 0;
}
