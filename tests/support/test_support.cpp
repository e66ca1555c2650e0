// Helpers shared by the tests: host variable descriptors, the variant report, scratch files, open-file checks, held inputs and outputs.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, whose types they use.
#include <tlhelp32.h>
#include <winternl.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace telvarn::test {

namespace {

// Printed when the program ends and, where TELVARN_VARIANT_REPORT names a file,
// appended to it one variant a line: ctest runs each test in a process of its own
// and keeps a passing test's output, so scripts/test-all.sh gathers the file.
class VariantReport : public ::testing::Environment {
 public:
  std::string exercised, lacking;
  void TearDown() override {
    if (exercised.empty() && lacking.empty()) return;
    std::printf("variants exercised:%s\nvariants this processor lacks:%s\n",
                exercised.empty() ? " none" : exercised.c_str(), lacking.empty() ? " none" : lacking.c_str());
    const char* path = std::getenv("TELVARN_VARIANT_REPORT");
    std::FILE* file = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (file == nullptr) return;
    for (const auto& [list, word] : {std::pair{&exercised, "ran"}, std::pair{&lacking, "lacks"}}) {
      std::istringstream names(*list);
      for (std::string name; names >> name;) std::fprintf(file, "%s %s\n", word, name.c_str());
    }
    std::fclose(file);
  }
};

VariantReport& Report() {
  // gtest owns and deletes the environment.
  static VariantReport* const report =
      static_cast<VariantReport*>(::testing::AddGlobalTestEnvironment(new VariantReport));
  return *report;
}

}  // namespace

void NoteVariant(const std::string& algorithm, const char* variant, bool ran) {
  (ran ? Report().exercised : Report().lacking) += " " + algorithm + "/" + variant;
}

PageEndBuffer::PageEndBuffer(size_t size) {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
#else
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
  const size_t readable = (size + page - 1) / page * page;
  mapped_ = readable + page;
#if defined(_WIN32)
  mapping_ = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (mapping_ == nullptr) throw std::runtime_error("VirtualAlloc failed");
  DWORD old_protection = 0;
  if (!VirtualProtect(static_cast<uint8_t*>(mapping_) + readable, page, PAGE_NOACCESS,
                      &old_protection)) {
    throw std::runtime_error("VirtualProtect failed");
  }
#else
  mapping_ = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping_ == MAP_FAILED) throw std::runtime_error("mmap failed");
  if (mprotect(static_cast<uint8_t*>(mapping_) + readable, page, PROT_NONE) != 0) {
    throw std::runtime_error("mprotect failed");
  }
#endif
  end_ = static_cast<uint8_t*>(mapping_) + readable;
}

PageEndBuffer::~PageEndBuffer() {
#if defined(_WIN32)
  VirtualFree(mapping_, 0, MEM_RELEASE);
#else
  munmap(mapping_, mapped_);
#endif
}

TelvarnVarDesc HostVar(const void* data, int32_t stride_words) {
  TelvarnVarDesc var;
  std::memset(&var, 0xCC, sizeof var);
  var.stride_words = stride_words;
  var.data = const_cast<void*>(data);
  return var;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

std::vector<uint8_t> RandomBytes(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  return RandomBytes(rng, count);
}

std::string RandomString(std::mt19937& rng, size_t count) {
  const std::vector<uint8_t> bytes = RandomBytes(rng, count);
  return std::string(bytes.begin(), bytes.end());
}

std::string LowerHex(const uint8_t* bytes, size_t size) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

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

#if defined(_WIN32)
namespace {

// One entry of the system's handle table as NtQuerySystemInformation fills it for
// SystemExtendedHandleInformation, which has room for every process id and
// handle value on both architectures.
struct SystemHandleEntry {
  void* object;
  ULONG_PTR process_id;
  ULONG_PTR handle;
  ULONG access;
  USHORT creator_back_trace;
  USHORT type_index;
  ULONG attributes;
  ULONG reserved;
};
struct SystemHandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  SystemHandleEntry entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectTypeInformation = 2;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

FARPROC NtFunction(const char* name) { return GetProcAddress(GetModuleHandleA("ntdll.dll"), name); }

// The handles this process holds, from the system's table. GetProcessHandleCount
// would be simpler, but under Wine it reports 0 whatever the process holds.
std::vector<HANDLE> ProcessHandles() {
  const auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(NtFunction("NtQuerySystemInformation")));
  if (query == nullptr) throw std::runtime_error("no NtQuerySystemInformation");
  std::vector<uint8_t> table(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const LONG status =
        query(kSystemExtendedHandleInformation, table.data(), static_cast<ULONG>(table.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      table.resize(std::max<size_t>(table.size() * 2, needed + 4096));
      continue;
    }
    if (status != 0) throw std::runtime_error("the system's handle table cannot be read");
    break;
  }
  const auto& handles = *reinterpret_cast<const SystemHandleTable*>(table.data());
  const ULONG_PTR self = GetCurrentProcessId();
  std::vector<HANDLE> mine;
  for (ULONG_PTR i = 0; i < handles.count; ++i) {
    if (handles.entries[i].process_id == self) mine.push_back(reinterpret_cast<HANDLE>(handles.entries[i].handle));
  }
  return mine;
}

}  // namespace
#endif

int64_t CountProcessHandles() {
#if defined(_WIN32)
  return static_cast<int64_t>(ProcessHandles().size());
#else
  int64_t count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd");
       it != std::filesystem::directory_iterator(); ++it) {
    ++count;
  }
  return count;
#endif
}

std::map<std::string, int64_t> CountProcessHandlesByType() {
  std::map<std::string, int64_t> counts;
#if defined(_WIN32)
  const auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(NtFunction("NtQueryObject")));
  for (HANDLE handle : ProcessHandles()) {
    // A UNICODE_STRING with the type's name, followed by its characters.
    alignas(8) uint8_t info[1024];
    ULONG needed = 0;
    std::string name = "?";
    if (query != nullptr && query(handle, kObjectTypeInformation, info, sizeof info, &needed) == 0) {
      const auto& text = *reinterpret_cast<const UNICODE_STRING*>(info);
      name.clear();
      for (USHORT i = 0; i < text.Length / sizeof(WCHAR); ++i) name += static_cast<char>(text.Buffer[i]);
    }
    ++counts[name];
  }
#else
  counts["descriptor"] = CountProcessHandles();
#endif
  return counts;
}

int64_t CountProcessThreads() {
#if defined(_WIN32)
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  // The snapshot holds every thread of the system, each with its process.
  const DWORD self = GetCurrentProcessId();
  int64_t count = 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  return count;
#else
  // A thread that ends while the folder is read may or may not be counted.
  std::error_code error;
  int64_t count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return error ? -1 : count;
#endif
}

namespace {
std::atomic<int> g_held_serial{0};
}  // namespace

#if defined(_WIN32)

HeldInput::HeldInput(Reads reads) {
  name_ = "\\\\.\\pipe\\telvarn-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(g_held_serial++);
  // A pipe without buffer space completes a write only once the reader has read it.
  const DWORD buffer_bytes = reads == Reads::kObserved ? 0 : 1 << 16;
  pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                           buffer_bytes, buffer_bytes, 0, nullptr);
  if (pipe_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + name_);
}

HeldInput::~HeldInput() { Release(); }

void HeldInput::Feed(const std::string& bytes) {
  if (pipe_ == nullptr) return;
  ConnectNamedPipe(pipe_, nullptr);  // the binding has connected already, or never will
  DWORD written = 0;
  if (!bytes.empty()) ::WriteFile(pipe_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void HeldInput::Release(const std::string& bytes) {
  if (pipe_ == nullptr) return;
  Feed(bytes);
  // Closing (not disconnecting) delivers what was written, then the end.
  CloseHandle(pipe_);
  pipe_ = nullptr;
}

bool HeldInput::FeedOneByte(uint32_t) {
  if (pipe_ == nullptr) return false;
  ConnectNamedPipe(pipe_, nullptr);
  DWORD written = 0;
  return ::WriteFile(pipe_, "x", 1, &written, nullptr) && written == 1;
}


HeldOutput::HeldOutput() {
  name_ = "\\\\.\\pipe\\telvarn-test-out-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(g_held_serial++);
  // Without buffer space every write waits until the reader has read it.
  pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr);
  if (pipe_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + name_);
}

HeldOutput::~HeldOutput() {
  if (pipe_ != nullptr) CloseHandle(pipe_);
}

std::string HeldOutput::Drain(uint32_t timeout_ms) {
  std::string bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  ConnectNamedPipe(pipe_, nullptr);  // the binding has connected already
  while (std::chrono::steady_clock::now() < deadline) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) break;  // the writer has closed
    if (available == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!::ReadFile(pipe_, chunk.data(), available, &read, nullptr)) break;
    bytes.append(chunk, 0, read);
  }
  return bytes;
}

#else

HeldInput::HeldInput(Reads) {
  folder_ = std::filesystem::temp_directory_path() /
            ("telvarn-fifo-" + std::to_string(getpid()) + "-" + std::to_string(g_held_serial++));
  std::filesystem::create_directories(folder_);
  name_ = (folder_ / "held").string();
  if (mkfifo(name_.c_str(), 0600) != 0) throw std::runtime_error("cannot create " + name_);
  // Opened for reading and writing, the FIFO has a writer from the start, so the
  // job's binding opens it without blocking and its reads block until Release.
  fd_ = open(name_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open " + name_);
}

HeldInput::~HeldInput() {
  Release();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void HeldInput::Feed(const std::string& bytes) {
  size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

void HeldInput::Release(const std::string& bytes) {
  if (fd_ < 0) return;
  Feed(bytes);
  close(fd_);
  fd_ = -1;
}

bool HeldInput::FeedOneByte(uint32_t timeout_ms) {
  if (fd_ < 0 || write(fd_, "x", 1) != 1) return false;
  // The FIFO counts the bytes not yet read.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int unread = 1;
  while (ioctl(fd_, FIONREAD, &unread) == 0 && unread > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return unread == 0;
}

HeldOutput::HeldOutput() {
  folder_ = std::filesystem::temp_directory_path() /
            ("telvarn-fifo-" + std::to_string(getpid()) + "-" + std::to_string(g_held_serial++));
  std::filesystem::create_directories(folder_);
  name_ = (folder_ / "held").string();
  if (mkfifo(name_.c_str(), 0600) != 0) throw std::runtime_error("cannot create " + name_);
  // The reader opens first, so that neither open blocks; then the test's own
  // writer fills the FIFO until a write of a single byte would block.
  read_fd_ = open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  fill_fd_ = open(name_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (read_fd_ < 0 || fill_fd_ < 0) throw std::runtime_error("cannot open " + name_);
  const std::string block(4096, 'f');
  for (size_t size : {block.size(), size_t{1}}) {
    ssize_t n;
    while ((n = write(fill_fd_, block.data(), size)) > 0) filler_.append(block, 0, static_cast<size_t>(n));
  }
}

HeldOutput::~HeldOutput() {
  if (fill_fd_ >= 0) close(fill_fd_);
  if (read_fd_ >= 0) close(read_fd_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string HeldOutput::Drain(uint32_t timeout_ms) {
  if (fill_fd_ >= 0) close(fill_fd_);
  fill_fd_ = -1;
  std::string bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char chunk[4096];
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    pollfd ready{read_fd_, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    if (poll(&ready, 1, static_cast<int>(left) + 1) < 0 && errno != EINTR) break;
    const ssize_t n = read(read_fd_, chunk, sizeof chunk);
    if (n == 0) break;  // every writer has closed
    if (n > 0) bytes.append(chunk, static_cast<size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  return bytes;
}

#endif

}  // namespace telvarn::test
