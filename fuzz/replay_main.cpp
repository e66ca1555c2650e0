// Runs a fuzz target once on each file of the given folders (or on the given files): its corpus replayed as an ordinary test.
//
// Builds without libFuzzer, with any compiler. A target reports a fault by aborting
// or crashing, which ends this program abnormally; reading no input at all is a
// failure too, so that a wrong corpus path cannot pass.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// Runs the target on the file's bytes, held in a heap block of exactly their size
// (as libFuzzer holds them), so that a read past the end meets the sanitizer.
bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), input.get());
  LLVMFuzzerTestOneInput(input.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER_OR_FILE...\n", argv[0]);
    return 2;
  }
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path given(argv[i]);
    std::vector<fs::path> files;
    std::error_code error;
    if (fs::is_directory(given, error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(given, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else if (fs::is_regular_file(given, error)) {
      files.push_back(given);
    }
    if (files.empty()) {
      std::fprintf(stderr, "no inputs in %s\n", argv[i]);
      return 1;
    }
    // Sorted, so that a failing run names the same input every time.
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::printf("%s\n", file.string().c_str());
      std::fflush(stdout);
      if (!Replay(file)) return 1;
      ++replayed;
    }
  }
  std::printf("replayed %s inputs\n", std::to_string(replayed).c_str());
  return 0;
}
