// The system services of telvarn on Windows: UTF-16 names, handles, consoles, named pipes.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "cli/system.h"
#include "cli/text.h"
#include "telvarn.h"

namespace telvarn::cli {
namespace {

std::string SystemErrorText(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "File is in use by another process";
    case ERROR_DIRECTORY:
      return "Is a directory";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return "Broken pipe";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "Cannot allocate memory";
    case ERROR_FILENAME_EXCED_RANGE:
      return "File name too long";
    default:
      break;
  }
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) {
    message = Utf8FromWide(std::wstring(text, length));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
      message.pop_back();
    }
  }
  if (text != nullptr) LocalFree(text);
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

// Writes every byte, in pieces that one call can take: ERROR_SUCCESS, or the reason
// it stopped (a write that took nothing without one counts as a full disk).
DWORD WriteEvery(HANDLE handle, const char* bytes, size_t count) {
  while (count > 0) {
    const DWORD ask = count > (1u << 24) ? (1u << 24) : static_cast<DWORD>(count);
    DWORD done = 0;
    if (!WriteFile(handle, bytes, ask, &done, nullptr) || done == 0) {
      const DWORD code = GetLastError();
      return code == ERROR_SUCCESS ? ERROR_DISK_FULL : code;
    }
    bytes += done;
    count -= done;
  }
  return ERROR_SUCCESS;
}

// "None" reaches the system as a null handle, which every call refuses.
HANDLE AsHandle(SystemHandle handle) { return handle == kNoHandle ? nullptr : reinterpret_cast<HANDLE>(handle); }

// GetStdHandle says "none" with a null handle or with INVALID_HANDLE_VALUE.
SystemHandle FromHandle(HANDLE handle) {
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<SystemHandle>(handle);
}

}  // namespace

void InputFile::Fail(uint32_t system_error) {
  missing_ = system_error == ERROR_FILE_NOT_FOUND || system_error == ERROR_PATH_NOT_FOUND;
  error_ = SystemErrorText(system_error);
}

bool InputFile::Open(const std::string& name) {
  Close();
  std::wstring wide = WideFromUtf8(name);
  // Backup semantics let a folder open, so that it can be named as one.
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail(GetLastError());
    return false;
  }
  handle_ = FromHandle(handle);
  owned_ = true;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Close();
    missing_ = false;
    error_ = "Is a directory";
    return false;
  }
  Describe();
  return true;
}

void InputFile::OpenStandardInput() {
  Close();
  handle_ = FromHandle(GetStdHandle(STD_INPUT_HANDLE));
  owned_ = false;
  Describe();
}

void InputFile::Describe() {
  regular_ = false;
  size_ = 0;
  if (handle_ == kNoHandle || GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK) return;
  LARGE_INTEGER size;
  if (GetFileSizeEx(AsHandle(handle_), &size)) {
    regular_ = true;
    size_ = static_cast<uint64_t>(size.QuadPart);
  }
}

int64_t InputFile::Read(void* buffer, size_t count) {
  if (handle_ == kNoHandle) return 0;  // no standard input at all reads as empty
  const DWORD ask = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), buffer, ask, &got, nullptr)) {
    const DWORD code = GetLastError();
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return 0;
    Fail(code);
    return -1;
  }
  return got;
}

void InputFile::Close() {
  if (owned_ && handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
  owned_ = false;
}

OutputStream::OutputStream(Which which) {
  handle_ = FromHandle(GetStdHandle(which == Which::kStandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE));
  DWORD mode = 0;
  console_ = handle_ != kNoHandle && GetConsoleMode(AsHandle(handle_), &mode);
  interactive_ = console_;
  buffer_.reserve(which == Which::kStandardOutput ? 1u << 16 : 1024);
}

bool OutputStream::WriteOut(const char* bytes, size_t count, bool binary) {
  if (failed_) return false;
  if (handle_ == kNoHandle) return true;  // no stream: nothing to write to, as with a closed one
  if (console_ && !binary) {
    // A console shows characters, not bytes: hand it UTF-16.
    std::wstring wide = WideFromUtf8(std::string(bytes, count));
    DWORD done = 0;
    if (!WriteConsoleW(AsHandle(handle_), wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr)) {
      failed_ = true;
      error_ = SystemErrorText(GetLastError());
    }
    return !failed_;
  }
  const DWORD code = WriteEvery(AsHandle(handle_), bytes, count);
  if (code != ERROR_SUCCESS) {
    failed_ = true;
    error_ = SystemErrorText(code);
  }
  return !failed_;
}

ModulePipe::~ModulePipe() { CloseWriter(); }

bool ModulePipe::Create() {
  static std::atomic<uint32_t> serial{0};
  name_ = "\\\\.\\pipe\\telvarn-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(serial.fetch_add(1));
  // A buffer of a few MiB lets the writer run ahead of the job's 64 KiB reads
  // without holding more than that.
  constexpr DWORD kPipeBuffer = 4u << 20;
  HANDLE server = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   kPipeBuffer, 0, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) {
    error_ = SystemErrorText(GetLastError());
    return false;
  }
  writer_ = FromHandle(server);
  return true;
}

void ModulePipe::ReaderBound() {}

bool ModulePipe::WriteAll(const char* bytes, size_t count) {
  // A closed or never made server end is a null handle, which WriteFile refuses.
  const DWORD code = WriteEvery(AsHandle(writer_), bytes, count);
  if (code != ERROR_SUCCESS) error_ = SystemErrorText(code);
  return code == ERROR_SUCCESS;
}

void ModulePipe::CloseWriter() {
  // Closing the server end delivers what was written, then the end of the stream.
  if (writer_ != kNoHandle) CloseHandle(AsHandle(writer_));
  writer_ = kNoHandle;
}

SpoolFile::~SpoolFile() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
}

bool SpoolFile::Create() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tlv", 0, path) == 0) {
    error_ = SystemErrorText(GetLastError());
    return false;
  }
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = SystemErrorText(GetLastError());
    DeleteFileW(path);
    return false;
  }
  handle_ = FromHandle(handle);
  return true;
}

bool SpoolFile::Write(const char* bytes, size_t count) {
  const DWORD code = WriteEvery(AsHandle(handle_), bytes, count);
  if (code != ERROR_SUCCESS) error_ = SystemErrorText(code);
  return code == ERROR_SUCCESS;
}

bool SpoolFile::Rewind() {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN)) {
    error_ = SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

int64_t SpoolFile::Read(char* bytes, size_t count) {
  const DWORD ask = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), bytes, ask, &got, nullptr)) {
    error_ = SystemErrorText(GetLastError());
    return -1;
  }
  return got;
}

bool LooksLikeRegularFile(const std::string& name, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideFromUtf8(name).c_str(), GetFileExInfoStandard, &data)) return false;
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool StreamIdentity(const std::string& name, std::string& identity) {
  if (name == "-") {
    BY_HANDLE_FILE_INFORMATION info;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetFileInformationByHandle(input, &info)) {
      identity = "file " + std::to_string(info.dwVolumeSerialNumber) + ":" +
                 std::to_string((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    } else {
      identity = "standard input";
    }
    return true;
  }
  const std::wstring wide = WideFromUtf8(name);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) &&
      (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
    return false;
  }
  // A pipe or a device: opening one to ask for its file index would take a pipe's
  // connection, so the full name, which has no aliases there, says which it is.
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return false;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
  if (written == 0 || written >= length) return false;
  full.resize(written);
  // Device and pipe names are the same in any case.
  std::wstring upper(written, L'\0');
  if (LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(written), &upper[0],
                   static_cast<int>(written)) == static_cast<int>(written)) {
    full = upper;
  }
  identity = "name " + Utf8FromWide(full);
  return true;
}

namespace {

// A handle that `Close` (CloseHandle, FindClose) closes when it goes out of scope.
template <class Close>
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (open()) Close()(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct CloseFileHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseSearch {
  void operator()(HANDLE search) const { FindClose(search); }
};
using ScopedFileHandle = ScopedHandle<CloseFileHandle>;
// A search of FindFirstFileExW.
using ScopedSearch = ScopedHandle<CloseSearch>;

// Whether a link leads to a file: opened without FILE_FLAG_OPEN_REPARSE_POINT, the
// name reaches its target, which must be there and not be a folder.
bool LinkTargetIsFile(const std::wstring& path) {
  const ScopedFileHandle target(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  return target.open() && GetFileInformationByHandle(target.get(), &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
  entries.clear();
  const bool ends_in_separator = !path.empty() && (path.back() == '/' || path.back() == '\\');
  const std::wstring pattern = WideFromUtf8(path + (ends_in_separator ? "*" : "/*"));
  WIN32_FIND_DATAW found;
  // FindExInfoStandard: Vista refuses FindExInfoBasic (Windows 7 and later).
  const ScopedSearch search(
      FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &found, FindExSearchNameMatch, nullptr, 0));
  if (!search.open()) {
    error = SystemErrorText(GetLastError());
    return false;
  }
  DWORD last_error = ERROR_SUCCESS;
  for (;;) {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      // dwReserved0 holds the reparse tag of a reparse point.
      const EntryKind kind = WindowsEntryKind(found.dwFileAttributes, found.dwReserved0, [&] {
        return LinkTargetIsFile(WideFromUtf8(path) + (ends_in_separator ? L"" : L"/") + name);
      });
      entries.push_back({Utf8FromWide(name), kind});
    }
    if (!FindNextFileW(search.get(), &found)) {
      last_error = GetLastError();
      break;
    }
  }
  if (last_error != ERROR_NO_MORE_FILES) {
    error = SystemErrorText(last_error);
    return false;
  }
  return true;
}

bool IsFolder(const std::string& name) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ModuleFileName(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return {};
  const UINT code_page = GetACP();
  BOOL used_default = FALSE;
  // The UTF-8 code page takes neither flag nor default character.
  const bool utf8 = code_page == CP_UTF8;
  const int size = WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                       static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                       utf8 ? nullptr : &used_default);
  if (size <= 0 || used_default) return {};
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.c_str(),
                      static_cast<int>(wide.size()), &ansi[0], size, nullptr,
                      utf8 ? nullptr : &used_default);
  if (used_default) return {};
  // Only a spelling that turns back into the same name reaches the same file.
  const int back = MultiByteToWideChar(code_page, 0, ansi.data(), size, nullptr, 0);
  std::wstring round(static_cast<size_t>(back > 0 ? back : 0), L'\0');
  if (back > 0) MultiByteToWideChar(code_page, 0, ansi.data(), size, &round[0], back);
  if (round != wide) return {};
  return ansi;
}

namespace {

// One argument of the command line, from `line` on: its text, and whether a `*` or `?`
// stood outside double quotes and whether one stood inside them. The C runtime's
// rules: 2n backslashes and a quote are n backslashes and a quote that opens or
// closes a quoted stretch, 2n+1 and a quote are n and a literal quote, `""` inside
// quotes is a literal quote, other backslashes are themselves.
struct CommandLineArgument {
  std::wstring text;
  bool open_wildcard = false;
  bool quoted_wildcard = false;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

CommandLineArgument NextArgument(const wchar_t*& line) {
  CommandLineArgument arg;
  bool quoted = false;
  while (*line != L'\0' && (quoted || !IsBlank(*line))) {
    size_t backslashes = 0;
    while (*line == L'\\') {
      ++backslashes;
      ++line;
    }
    if (*line == L'"') {
      arg.text.append(backslashes / 2, L'\\');
      if (backslashes % 2 == 1) {
        arg.text += L'"';
      } else if (quoted && line[1] == L'"') {
        arg.text += L'"';
        ++line;
      } else {
        quoted = !quoted;
      }
      ++line;
      continue;
    }
    arg.text.append(backslashes, L'\\');
    if (*line == L'\0' || (!quoted && IsBlank(*line))) break;
    if (*line == L'*' || *line == L'?') (quoted ? arg.quoted_wildcard : arg.open_wildcard) = true;
    arg.text += *line++;
  }
  return arg;
}

// Whether the last component of a name holds `*` or `?`.
bool WildcardInLastComponent(const std::wstring& name) {
  const size_t separator = name.find_last_of(L"/\\:");
  return name.find_first_of(L"*?", separator == std::wstring::npos ? 0 : separator + 1) != std::wstring::npos;
}

}  // namespace

Arguments CommandLineArguments(PatternArguments& patterns) {
  const wchar_t* line = GetCommandLineW();
  Arguments args;
  patterns.clear();
  // The program's name ends at its closing quote, or at the first blank; it holds
  // no escapes.
  std::wstring program;
  if (*line == L'"') {
    for (++line; *line != L'\0' && *line != L'"'; ++line) program += *line;
    if (*line == L'"') ++line;
  } else {
    for (; *line != L'\0' && !IsBlank(*line); ++line) program += *line;
  }
  args.push_back(Utf8FromWide(program));
  patterns.push_back(false);
  for (;;) {
    while (IsBlank(*line)) ++line;
    if (*line == L'\0') break;
    const CommandLineArgument arg = NextArgument(line);
    args.push_back(Utf8FromWide(arg.text));
    patterns.push_back(arg.open_wildcard && !arg.quoted_wildcard && WildcardInLastComponent(arg.text));
  }
  return args;
}

std::vector<std::string> MatchFilePattern(const std::string& pattern) {
  const size_t separator = pattern.find_last_of("/\\:");
  const std::string folder = separator == std::string::npos ? std::string() : pattern.substr(0, separator + 1);
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const ScopedSearch search(FindFirstFileExW(WideFromUtf8(pattern).c_str(), FindExInfoStandard, &found,
                                             FindExSearchNameMatch, nullptr, 0));
  if (!search.open()) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(folder + Utf8FromWide(name));
  } while (FindNextFileW(search.get(), &found));
  std::sort(names.begin(), names.end());
  return names;
}

uint32_t ProcessorCount() {
  // The processors this process may run on (its affinity), not all that the machine has.
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) && process_mask != 0) {
    uint32_t count = 0;
    for (; process_mask != 0; process_mask &= process_mask - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

namespace {

std::string FileVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return "unknown";
  std::vector<char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return "unknown";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr) {
    return "unknown";
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS));
}

std::wstring ModulePath(HMODULE module) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

}  // namespace

std::string ProgramVersion() { return FileVersionOf(ModulePath(nullptr)); }

std::string ModuleVersion() {
  HMODULE module = GetModuleHandleA(TELVARN_MODULE_NAME);
  if (module == nullptr) return "not loaded";
  return FileVersionOf(ModulePath(module));
}

}  // namespace telvarn::cli
