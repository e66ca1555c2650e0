// Calls the module's exports as a host does (32-bit or 64-bit Windows) and prints machine-readable throughput lines.
//
// Every job runs synchronously on a memory input and on a page-cached file input
// (each keyed job in turns with its plain digest), and 20,000 times on 64 bytes of
// memory with its bindings (the per-job cost), and Base64 encodes and decodes with
// and without line breaks, and reads the memory input bare (dll_memory_read, the
// ceiling of a job on memory in this host). A BLAKE3 job of 512 KiB or more shares its spans with
// helper threads, so its CPU time sums every thread's. Each measurement is
// printed as
//
//   BENCH <name> <bytes> <wall_s> <cpu_s> <wall_MB/s> <cpu_MB/s> <check>
//
// the times being the best of the repeats, the byte count the binary size (for
// Base64 the bytes encoded or decoded, not the text), <check> the job's result text
// or "ok" after a Base64 round trip. The buffer is bytes (i * 131 + 7) & 0xFF and
// the HMAC key "benchmark key", as in bench/reference.c. bench/compare.py
// runs this under Wine beside the reference and prints the comparison.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "memory_read.h"
#include "module_binding/module_binding.h"

namespace {

const char kHmacKey[] = "benchmark key";
constexpr int32_t kIo = 1;

// Process CPU time (every thread's, exited job threads included) in seconds.
// Under Wine on Linux the kernel's CLOCK_PROCESS_CPUTIME_ID is asked directly with
// a system call of the program's own mode, because Wine answers GetProcessTimes
// from times(), whose 10 ms tick is as long as a fast job. Elsewhere
// GetProcessTimes it is.
class CpuClock {
 public:
  CpuClock() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    using HostVersionFn = void(__cdecl*)(const char**, const char**);
    auto host_version =
        ntdll ? reinterpret_cast<HostVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_host_version")))
              : nullptr;
    if (host_version) {
      const char* system = nullptr;
      const char* release = nullptr;
      host_version(&system, &release);
      linux_ = system && std::strcmp(system, "Linux") == 0 && LinuxSeconds() >= 0;
    }
  }
  const char* name() const { return linux_ ? "linux_process_cputime" : "GetProcessTimes"; }
  double Seconds() const { return linux_ ? LinuxSeconds() : WindowsSeconds(); }

 private:
  static double LinuxSeconds() {
    constexpr long kProcessCpuTimeClock = 2;  // CLOCK_PROCESS_CPUTIME_ID
#if defined(__x86_64__)
    struct {
      int64_t seconds;
      int64_t nanoseconds;
    } now{};
    long result;
    // x86-64 clock_gettime is system call 228; the instruction overwrites RCX and R11.
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(228L), "D"(kProcessCpuTimeClock), "S"(&now)
                 : "rcx", "r11", "memory");
#else
    struct {
      int32_t seconds;
      int32_t nanoseconds;
    } now{};
    int32_t result;
    // i386 clock_gettime is system call 265.
    asm volatile("int $0x80" : "=a"(result) : "a"(265), "b"(kProcessCpuTimeClock), "c"(&now) : "memory");
#endif
    if (result != 0) return -1;
    return static_cast<double>(now.seconds) + static_cast<double>(now.nanoseconds) * 1e-9;
  }
  static double WindowsSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) {
      return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
  }
  bool linux_ = false;
};

class Stopwatch {
 public:
  explicit Stopwatch(const CpuClock& cpu) : cpu_(cpu) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&wall_start_);
    cpu_start_ = cpu_.Seconds();
  }
  double WallSeconds() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - wall_start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
  }
  double CpuSeconds() const { return cpu_.Seconds() - cpu_start_; }

 private:
  const CpuClock& cpu_;
  LARGE_INTEGER frequency_;
  LARGE_INTEGER wall_start_;
  double cpu_start_;
};

// The fastest wall time and, separately, the least CPU time over the repeats.
struct Best {
  double wall = 0;
  double cpu = 0;
  void Keep(const Stopwatch& watch) {
    const double w = watch.WallSeconds();
    const double c = watch.CpuSeconds();
    if (wall == 0 || w < wall) wall = w;
    if (cpu == 0 || c < cpu) cpu = c;
  }
};

void Report(const std::string& name, size_t bytes, const Best& best, const std::string& check) {
  // A zero CPU time only comes from a clock coarser than the run; avoid dividing by it.
  const double cpu = best.cpu > 0 ? best.cpu : 1e-9;
  std::printf("BENCH %s %u %.6f %.6f %.1f %.1f %s\n", name.c_str(), static_cast<unsigned>(bytes), best.wall,
              best.cpu, static_cast<double>(bytes) / 1e6 / best.wall, static_cast<double>(bytes) / 1e6 / cpu,
              check.empty() ? "-" : check.c_str());
  std::fflush(stdout);
}

// A temporary file holding the buffer, read once so the page cache has it; removed at exit.
class CachedFile {
 public:
  bool Create(const uint8_t* data, size_t size) {
    char folder[MAX_PATH];
    if (GetTempPathA(sizeof folder, folder) == 0) return false;
    path_ = std::string(folder) + "telvarn_bench_" + std::to_string(GetCurrentProcessId()) + ".bin";
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return false;
    file = std::fopen(path_.c_str(), "rb");
    if (!file) return false;
    std::vector<char> chunk(1 << 20);
    size_t total = 0;
    for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) total += got;
    std::fclose(file);
    return total == size;
  }
  ~CachedFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

size_t MebibytesArg(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value < 1 || value > 256) {
    std::fprintf(stderr, "telvarn_dll_bench: sizes are 1 to 256 MiB\n");
    std::exit(2);
  }
  return static_cast<size_t>(value) << 20;
}

}  // namespace

int main(int argc, char** argv) {
  size_t digest_size = size_t{64} << 20;
  size_t base64_size = size_t{32} << 20;
  int repeats = 2;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--mib") == 0 && i + 1 < argc) {
      digest_size = MebibytesArg(argv[++i]);
    } else if (std::strcmp(argv[i], "--base64-mib") == 0 && i + 1 < argc) {
      base64_size = MebibytesArg(argv[++i]);
    } else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
      repeats = std::atoi(argv[++i]);
      if (repeats < 1) repeats = 1;
    } else {
      std::fprintf(stderr, "usage: %s [--mib N] [--base64-mib N] [--repeats N]\n", argv[0]);
      return 2;
    }
  }

  telvarn::ModuleExports e;
  std::string error;
  if (!telvarn::LoadModuleExports(e, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  const CpuClock cpu_clock;
  std::printf("META program telvarn_dll_bench pointer_bits %u cpu_clock %s repeats %d\n",
              static_cast<unsigned>(8 * sizeof(void*)), cpu_clock.name(), repeats);

  std::vector<uint8_t> input(digest_size > base64_size ? digest_size : base64_size);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 131 + 7);
  CachedFile file;
  if (!file.Create(input.data(), digest_size)) {
    std::fprintf(stderr, "telvarn_dll_bench: cannot write the temporary input file\n");
    return 2;
  }

  // `paired`: this keyed job and the plain one before it in the list are measured
  // in turns, so that their ratio holds on a busy machine. A job with an
  // algorithm number starts through Telvarn_Digest, the others through their own
  // export.
  const struct Job {
    const char* name;
    decltype(e.crc32) run;
    int32_t algorithm;
    bool keyed;
    bool paired;
  } jobs[] = {
      {"crc32", e.crc32, 0, false, false},
      {"crc16", e.crc16, 0, false, false},
      {"crc32c", nullptr, TELVARN_ALGORITHM_CRC32C, false, false},
      {"crc64", nullptr, TELVARN_ALGORITHM_CRC64, false, false},
      {"md5", e.md5, 0, false, false},
      {"hmac_md5", e.md5_key, 0, false, true},
      {"sha1", e.sha1, 0, false, false},
      {"hmac_sha1", e.sha1_key, 0, false, true},
      {"sha256", e.sha256, 0, false, false},
      {"hmac_sha256", e.sha256_key, 0, false, true},
      {"sha512", e.sha512, 0, false, false},
      {"hmac_sha512", e.sha512_key, 0, false, true},
      {"sha224", nullptr, TELVARN_ALGORITHM_SHA224, false, false},
      {"sha384", nullptr, TELVARN_ALGORITHM_SHA384, false, false},
      {"hmac_sha384", nullptr, TELVARN_ALGORITHM_SHA384, true, true},
      {"sha512_224", nullptr, TELVARN_ALGORITHM_SHA512_224, false, false},
      {"sha512_256", nullptr, TELVARN_ALGORITHM_SHA512_256, false, false},
      {"sha3_224", nullptr, TELVARN_ALGORITHM_SHA3_224, false, false},
      {"sha3_256", nullptr, TELVARN_ALGORITHM_SHA3_256, false, false},
      {"hmac_sha3_256", nullptr, TELVARN_ALGORITHM_SHA3_256, true, true},
      {"sha3_384", nullptr, TELVARN_ALGORITHM_SHA3_384, false, false},
      {"sha3_512", nullptr, TELVARN_ALGORITHM_SHA3_512, false, false},
      {"blake2b", nullptr, TELVARN_ALGORITHM_BLAKE2B, false, false},
      {"blake2s", nullptr, TELVARN_ALGORITHM_BLAKE2S, false, false},
      {"blake3", nullptr, TELVARN_ALGORITHM_BLAKE3, false, false},
      {"xxh3", nullptr, TELVARN_ALGORITHM_XXH3, false, false},
      {"xxh128", nullptr, TELVARN_ALGORITHM_XXH128, false, false},
  };
  constexpr size_t kJobs = sizeof jobs / sizeof jobs[0];
  auto start = [&e](const Job& job) {
    if (job.algorithm == 0) return job.run(kIo, TELVARN_RUN_NOW, 0, 0);
    return e.digest(kIo, job.algorithm, job.keyed ? TELVARN_DIGEST_KEYED : 0, TELVARN_PRIORITY_IMMEDIATE);
  };

  // Binds memory or the file, runs the job synchronously, and returns its result text.
  auto run_job = [&](const Job& job, bool from_file, Best& best) -> std::string {
    char output[160] = {};
    TelvarnVarDesc in_var{}, out_var{};
    out_var.data = output;
    e.initialize(kIo, 0, 0, 0);
    e.key_set(kHmacKey, kIo, 0, 0);
    int32_t bound;
    if (from_file) {
      in_var.data = const_cast<char*>(file.path().c_str());
      bound = e.input_set(&in_var, kIo, TELVARN_MODE_FILE, 0);
    } else {
      in_var.data = input.data();
      bound = e.input_set(&in_var, kIo, TELVARN_MODE_MEMORY, static_cast<int32_t>(digest_size));
    }
    if (bound != 0 || e.output_set(&out_var, kIo, TELVARN_MODE_MEMORY, sizeof output - 1) != 0) {
      return "bind-failed";
    }
    const Stopwatch watch(cpu_clock);
    const int32_t started = start(job);
    best.Keep(watch);
    return started == 0 ? std::string(output) : "job-failed";
  };

  {
    Best best;
    uint64_t sum = 0;
    for (int r = 0; r < repeats; ++r) {
      const Stopwatch watch(cpu_clock);
      sum ^= telvarn::bench::Read(input.data(), digest_size);
      best.Keep(watch);
    }
    char check[16];
    std::snprintf(check, sizeof check, "%08x", static_cast<unsigned>(sum));
    Report("dll_memory_read", digest_size, best, check);
  }

  for (size_t first = 0; first < kJobs;) {
    // A job alone, or a plain job and its keyed one.
    const size_t count = first + 1 < kJobs && jobs[first + 1].paired ? 2 : 1;
    Best memory[2], from_file[2];
    std::string memory_result[2], file_result[2];
    // Memory and file take turns, and so do the jobs of a pair, each first in
    // every other repeat: a burst of other load, or whatever a run leaves behind
    // for the next, hits all alike.
    for (int r = 0; r < repeats; ++r) {
      for (size_t k = 0; k < count; ++k) {
        const size_t which = r % 2 == 0 ? k : count - 1 - k;
        memory_result[which] = run_job(jobs[first + which], false, memory[which]);
      }
      for (size_t k = 0; k < count; ++k) {
        const size_t which = r % 2 == 0 ? count - 1 - k : k;
        file_result[which] = run_job(jobs[first + which], true, from_file[which]);
      }
    }
    for (size_t which = 0; which < count; ++which) {
      const std::string name = std::string("dll_") + jobs[first + which].name;
      Report(name + "_memory", digest_size, memory[which], memory_result[which]);
      Report(name + "_file", digest_size, from_file[which], file_result[which]);
    }
    first += count;
  }

  // Small jobs: a synchronous job on 64 bytes of memory with its two bindings,
  // many times over; the byte count of the BENCH line is the number of jobs.
  constexpr size_t kSmallJobs = 20000;
  for (const auto& job : jobs) {
    Best best;
    char output[160] = {};
    TelvarnVarDesc in_var{}, out_var{};
    in_var.data = input.data();
    out_var.data = output;
    e.initialize(kIo, 0, 0, 0);
    e.key_set(kHmacKey, kIo, 0, 0);
    bool all_started = true;
    for (int r = 0; r < repeats; ++r) {
      const Stopwatch watch(cpu_clock);
      for (size_t i = 0; i < kSmallJobs; ++i) {
        all_started &= e.input_set(&in_var, kIo, TELVARN_MODE_MEMORY, 64) == 0 &&
                       e.output_set(&out_var, kIo, TELVARN_MODE_MEMORY, sizeof output - 1) == 0 &&
                       start(job) == 0;
      }
      best.Keep(watch);
    }
    Report(std::string("dll_") + job.name + "_small", kSmallJobs, best,
           all_started ? std::string(output) : "job-failed");
  }

  // Base64: encode with line_mode 0 and 1, then decode the text each produced.
  const uint32_t b64_size = static_cast<uint32_t>(base64_size);
  const size_t one_line = 4 * ((base64_size + 2) / 3);
  std::vector<char> text(one_line + 2 * (one_line / 72 + 2) + 1);
  std::vector<uint8_t> decoded(base64_size + 4);
  for (int32_t line_mode : {TELVARN_BASE64_ONE_LINE, TELVARN_BASE64_LINES}) {
    const std::string suffix = line_mode == TELVARN_BASE64_LINES ? "_lines1" : "_lines0";
    Best encode, decode;
    int32_t text_length = 0;
    for (int r = 0; r < repeats; ++r) {
      const Stopwatch watch(cpu_clock);
      text_length = -e.base64_encode(text.data(), input.data(), b64_size, line_mode);
      encode.Keep(watch);
    }
    const bool encoded = text_length > 0 && static_cast<size_t>(text_length) < text.size();
    Report("dll_b64_encode" + suffix, base64_size, encode, encoded ? "ok" : "bad");
    int32_t decoded_length = 0;
    for (int r = 0; encoded && r < repeats; ++r) {
      const Stopwatch watch(cpu_clock);
      decoded_length = -e.base64_decode(decoded.data(), text.data(), 0, 0);
      decode.Keep(watch);
    }
    const bool round_trip = encoded && static_cast<size_t>(decoded_length) == base64_size &&
                            std::memcmp(decoded.data(), input.data(), base64_size) == 0;
    if (encoded) Report("dll_b64_decode" + suffix, base64_size, decode, round_trip ? "ok" : "bad");
  }
  return 0;
}
