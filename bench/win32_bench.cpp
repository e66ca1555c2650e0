// Calls TelvarnHX.hpi's seven jobs as a host does, synchronously on a 64 MiB memory
// input, and prints each job's throughput. Runs under Wine or on Windows.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_exports.h"

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
  telvarn::HostExports e;
  std::string error;
  if (!telvarn::LoadHostExports(e, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  const struct {
    const char* name;
    decltype(e.crc32) run;
  } jobs[] = {
      {"CRC-32", e.crc32}, {"CRC-16", e.crc16},   {"MD5", e.md5},         {"HMAC-MD5", e.md5_key},
      {"SHA-1", e.sha1},   {"SHA-256", e.sha256}, {"SHA-512", e.sha512},
  };

  std::vector<uint8_t> input(megabytes << 20);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 131 + 7);
  char output[160];
  TelvarnVarDesc in_var{}, out_var{};
  in_var.data = input.data();
  out_var.data = output;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  std::printf("%-10s %10s %10s\n", "job", "seconds", "MB/s");
  for (const auto& job : jobs) {
    e.initialize(1, 0, 0, 0);
    e.key_set("benchmark key", 1, 0, 0);
    e.input_set(&in_var, 1, 0, static_cast<int32_t>(input.size()));
    std::memset(output, 0, sizeof output);
    e.output_set(&out_var, 1, 0, sizeof output - 1);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    job.run(1, 0, 0, 0);
    QueryPerformanceCounter(&end);
    const double seconds =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%-10s %10.3f %10.1f   %s\n", job.name, seconds,
                static_cast<double>(input.size()) / 1e6 / seconds, output);
  }
  return 0;
}
