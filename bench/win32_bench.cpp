// Calls TelvarnHX.hpi's seven jobs as a host does, synchronously on a 64 MiB memory
// input, and prints each job's throughput. Runs under Wine or on Windows.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

#pragma pack(push, 4)
struct VarDesc {
  int32_t host_words_0_1[2];
  int32_t stride_words;
  int32_t host_words_3_6[4];
  void* data;
};
#pragma pack(pop)

using IoExport = int32_t(__stdcall*)(int32_t, int32_t, int32_t, int32_t);
using BindExport = int32_t(__stdcall*)(const VarDesc*, int32_t, int32_t, int32_t);
using KeyExport = int32_t(__stdcall*)(const void*, int32_t, int32_t, int32_t);

template <class Fn>
Fn Find(HMODULE module, const char* name) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    std::fprintf(stderr, "missing export %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
  HMODULE module = LoadLibraryA("TelvarnHX.hpi");
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load TelvarnHX.hpi\n");
    return 2;
  }
  auto initialize = Find<IoExport>(module, "_Telvarn_IO_Initialize@16");
  auto input_set = Find<BindExport>(module, "_Telvarn_IO_Input_Set@16");
  auto output_set = Find<BindExport>(module, "_Telvarn_IO_Output_Set@16");
  auto key_set = Find<KeyExport>(module, "_Telvarn_IO_Key_Set@16");
  const struct {
    const char* name;
    const char* export_name;
  } jobs[] = {
      {"CRC-32", "_Telvarn_CRC32@16"}, {"CRC-16", "_Telvarn_CRC16@16"},
      {"MD5", "_Telvarn_MD5@16"},      {"HMAC-MD5", "_Telvarn_MD5Key@16"},
      {"SHA-1", "_Telvarn_SHA1@16"},   {"SHA-256", "_Telvarn_SHA256@16"},
      {"SHA-512", "_Telvarn_SHA512@16"},
  };

  std::vector<uint8_t> input(megabytes << 20);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 131 + 7);
  char output[160];
  VarDesc in_var{}, out_var{};
  in_var.data = input.data();
  out_var.data = output;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  std::printf("%-10s %10s %10s\n", "job", "seconds", "MB/s");
  for (const auto& job : jobs) {
    IoExport run = Find<IoExport>(module, job.export_name);
    initialize(1, 0, 0, 0);
    key_set("benchmark key", 1, 0, 0);
    input_set(&in_var, 1, 0, static_cast<int32_t>(input.size()));
    std::memset(output, 0, sizeof output);
    output_set(&out_var, 1, 0, sizeof output - 1);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    run(1, 0, 0, 0);
    QueryPerformanceCounter(&end);
    const double seconds =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%-10s %10.3f %10.1f   %s\n", job.name, seconds,
                static_cast<double>(input.size()) / 1e6 / seconds, output);
  }
  FreeLibrary(module);
  return 0;
}
