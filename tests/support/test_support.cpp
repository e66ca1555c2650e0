// Scratch folders and files for the tests, and telling whether a file is still open.
#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace telvarn::test {

TempDir::TempDir() {
  static std::atomic<int> serial{0};
#if defined(_WIN32)
  unsigned long pid = GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  root_ = std::filesystem::temp_directory_path() /
          ("telvarn-test-" + std::to_string(pid) + "-" + std::to_string(serial++));
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::path(const std::string& name) const { return (root_ / name).string(); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeSizedFile(const std::string& path, uint64_t size) {
  WriteFile(path, "");
  std::filesystem::resize_file(path, size);
}

bool IsFileOpenHere(const std::string& path) {
#if defined(_WIN32)
  // The runtime opens files sharing reading and writing but not deletion, so an
  // open that demands exclusive access fails while any stream holds the file.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
#else
  std::error_code error;
  auto target = std::filesystem::canonical(path, error);
  if (error) return false;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code link_error;
    auto linked = std::filesystem::read_symlink(entry.path(), link_error);
    if (!link_error && linked == target) return true;
  }
  return false;
#endif
}

}  // namespace telvarn::test
