// The system services of telvarn natively: byte names, file descriptors, pipes.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cli/system.h"

namespace telvarn::cli {
namespace {

// Reads what is there, past interruptions: the count, 0 at the end, -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, size_t count) {
  for (;;) {
    const ssize_t got = read(fd, buffer, count);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Writes every byte, past interruptions and partial writes: 0, or the reason it
// stopped (`stalled` when a write took nothing).
int WriteEvery(int fd, const char* bytes, size_t count, int stalled) {
  while (count > 0) {
    const ssize_t done = write(fd, bytes, count);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return done < 0 ? errno : stalled;
    bytes += done;
    count -= static_cast<size_t>(done);
  }
  return 0;
}

int Fd(SystemHandle handle) { return static_cast<int>(handle); }

// SIGPIPE blocked on this thread while it lives: a write into a pipe whose reader has
// gone (the module closed it, refusing a job) fails with EPIPE instead of ending the
// program, and the signal that write raised is taken back before the mask is
// restored, lest it be delivered then. The program's own output keeps the usual
// SIGPIPE, as the GNU tools do.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigemptyset(&sigpipe_);
    sigaddset(&sigpipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &sigpipe_, &previous_);
  }
  ~SigpipeBlocked() {
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec no_wait{};
      sigtimedwait(&sigpipe_, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

 private:
  sigset_t sigpipe_;
  sigset_t previous_;
};

}  // namespace

void InputFile::Fail(uint32_t system_error) {
  missing_ = system_error == ENOENT;
  error_ = std::strerror(static_cast<int>(system_error));
}

bool InputFile::Open(const std::string& name) {
  Close();
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail(static_cast<uint32_t>(errno));
    return false;
  }
  handle_ = fd;
  owned_ = true;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    Fail(EISDIR);
    return false;
  }
  Describe();
  return true;
}

void InputFile::OpenStandardInput() {
  Close();
  handle_ = STDIN_FILENO;
  owned_ = false;
  Describe();
}

void InputFile::Describe() {
  regular_ = false;
  size_ = 0;
  struct stat info;
  if (handle_ != kNoHandle && fstat(Fd(handle_), &info) == 0 && S_ISREG(info.st_mode)) {
    regular_ = true;
    size_ = static_cast<uint64_t>(info.st_size);
  }
}

int64_t InputFile::Read(void* buffer, size_t count) {
  if (handle_ == kNoHandle) return 0;
  const ssize_t got = ReadSome(Fd(handle_), buffer, count);
  if (got < 0) Fail(static_cast<uint32_t>(errno));
  return got;
}

void InputFile::Close() {
  if (owned_ && handle_ != kNoHandle) close(Fd(handle_));
  handle_ = kNoHandle;
  owned_ = false;
}

OutputStream::OutputStream(Which which)
    : handle_(which == Which::kStandardOutput ? STDOUT_FILENO : STDERR_FILENO) {
  interactive_ = isatty(Fd(handle_)) != 0;
  buffer_.reserve(which == Which::kStandardOutput ? 1u << 16 : 1024);
}

bool OutputStream::WriteOut(const char* bytes, size_t count, bool) {
  if (failed_) return false;
  const int error = WriteEvery(Fd(handle_), bytes, count, ENOSPC);
  if (error != 0) {
    failed_ = true;
    error_ = std::strerror(error);
  }
  return !failed_;
}

ModulePipe::~ModulePipe() {
  CloseWriter();
  ReaderBound();
}

bool ModulePipe::Create() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  reader_ = fds[0];
  writer_ = fds[1];
  // The module opens the reading end anew by this name, as it opens any file.
  name_ = "/dev/fd/" + std::to_string(fds[0]);
  return true;
}

void ModulePipe::ReaderBound() {
  if (reader_ != kNoHandle) close(Fd(reader_));
  reader_ = kNoHandle;
}

bool ModulePipe::WriteAll(const char* bytes, size_t count) {
  const SigpipeBlocked blocked;
  const int error = WriteEvery(Fd(writer_), bytes, count, EPIPE);
  if (error != 0) error_ = std::strerror(error);
  return error == 0;
}

void ModulePipe::CloseWriter() {
  if (writer_ != kNoHandle) close(Fd(writer_));
  writer_ = kNoHandle;
}

SpoolFile::~SpoolFile() {
  if (handle_ != kNoHandle) close(Fd(handle_));
}

bool SpoolFile::Create() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/telvarn-XXXXXX";
  const int fd = mkstemp(&path[0]);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // Unlinked at once: the file goes when the descriptor closes, however the program ends.
  unlink(path.c_str());
  handle_ = fd;
  return true;
}

bool SpoolFile::Write(const char* bytes, size_t count) {
  const int error = WriteEvery(Fd(handle_), bytes, count, ENOSPC);
  if (error != 0) error_ = std::strerror(error);
  return error == 0;
}

bool SpoolFile::Rewind() {
  if (lseek(Fd(handle_), 0, SEEK_SET) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}

int64_t SpoolFile::Read(char* bytes, size_t count) {
  const ssize_t got = ReadSome(Fd(handle_), bytes, count);
  if (got < 0) error_ = std::strerror(errno);
  return got;
}

bool LooksLikeRegularFile(const std::string& name, uint64_t& size) {
  struct stat info;
  if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool StreamIdentity(const std::string& name, std::string& identity) {
  struct stat info;
  const bool standard_input = name == "-";
  if ((standard_input ? fstat(STDIN_FILENO, &info) : stat(name.c_str(), &info)) != 0) {
    if (!standard_input) return false;
    identity = "standard input";
    return true;
  }
  if (!standard_input && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) return false;
  identity = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  return true;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
  entries.clear();
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info;
    EntryKind kind = EntryKind::kSkipped;
    if (entry->d_type == DT_REG) {
      kind = EntryKind::kFile;
    } else if (entry->d_type == DT_DIR) {
      kind = EntryKind::kFolder;
    } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      const std::string full = prefix + name;
      if (lstat(full.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
          kind = EntryKind::kFolder;
        } else if (S_ISREG(info.st_mode) || (S_ISLNK(info.st_mode) && stat(full.c_str(), &info) == 0 &&
                                              S_ISREG(info.st_mode))) {
          kind = EntryKind::kFile;
        }
      }
    }
    entries.push_back({name, kind});
  }
  const int read_error = errno;
  closedir(folder);
  if (read_error != 0) {
    error = std::strerror(read_error);
    return false;
  }
  return true;
}

bool IsFolder(const std::string& name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ModuleFileName(const std::string& name) {
  // The C runtime takes any bytes but NUL as a name here.
  return name.find('\0') == std::string::npos ? name : std::string();
}

std::vector<std::string> MatchFilePattern(const std::string&) {
  // The shell has expanded every pattern before the program starts.
  return {};
}

uint32_t ProcessorCount() {
  // The processors this process may run on (taskset, a container's cpuset), not all
  // that the machine has.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<uint32_t>(count);
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

std::string ProgramVersion() { return TELVARN_VERSION; }

std::string ModuleVersion() { return TELVARN_VERSION " (linked in)"; }

}  // namespace telvarn::cli
