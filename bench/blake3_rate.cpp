// BLAKE3's hasher with each kernel variant over 1, 16 and 64 MiB, in MB/s of process CPU time: a program of its own, so that the 32-bit build measures it too.
//
// Google Benchmark has no i386 package, so the linux32 preset (configured with
// -DTELVARN_BUILD_BENCH=ON) builds only this. Each size keeps the best of
// `repeats` runs (the first argument, 5 by default); one line per variant and size:
// `blake3/<variant>/<bytes> <MB/s>`, then the bare read of the same buffer.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/blake3.h"
#include "digest/dispatch.h"
#include "memory_read.h"

namespace {

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <class Run>
double BestRate(int repeats, size_t bytes, Run run) {
  double best = 0;
  for (int i = 0; i < repeats; ++i) {
    const double start = CpuSeconds();
    run();
    const double seconds = CpuSeconds() - start;
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
  return 0;
}
