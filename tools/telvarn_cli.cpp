// telvarn: digests, checksums and Base64 from the command line, through the module's
// exports exactly as a host calls them.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host_exports.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <sys/stat.h>
#endif

namespace telvarn {
namespace {

constexpr int kOk = 0;
constexpr int kMismatch = 1;
constexpr int kError = 2;

const char kUsage[] =
    "usage: telvarn COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "Digests and checksums (one line per file, DIGEST  FILE; no FILE or - reads\n"
    "standard input; several files are digested in parallel):\n"
    "  crc32 | crc16 | md5 | sha1 | sha256 | sha512 [FILE...]\n"
    "  hmac-md5 --key KEY [FILE...]\n"
    "  ALGORITHM --check SUMS   verify the files listed in SUMS (DIGEST  FILE lines)\n"
    "Base64:\n"
    "  base64 encode [--wrap] [FILE]   --wrap: lines of 72 characters ending in CR LF\n"
    "  base64 decode [FILE]\n"
    "\n"
    "Exit status: 0 all good, 1 a checksum did not match, 2 an error.\n"
    "COMMAND --help shows the help of one command.\n";

struct Algorithm {
  const char* name;
  decltype(HostExports::crc32) HostExports::*job;
  size_t text_length;
  bool keyed;
};

const Algorithm kAlgorithms[] = {
    {"crc32", &HostExports::crc32, 8, false},     {"crc16", &HostExports::crc16, 4, false},
    {"md5", &HostExports::md5, 32, false},        {"sha1", &HostExports::sha1, 40, false},
    {"sha256", &HostExports::sha256, 64, false},  {"sha512", &HostExports::sha512, 128, false},
    {"hmac-md5", &HostExports::md5_key, 32, true},
};

void Error(const std::string& message) { std::fprintf(stderr, "telvarn: %s\n", message.c_str()); }

TelvarnVarDesc Var(const void* data) {
  TelvarnVarDesc var{};
  var.data = const_cast<void*>(data);
  return var;
}

void SetBinary(std::FILE* stream) {
#if defined(_WIN32)
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

// Reads a whole stream; false on a read error.
bool ReadAll(std::FILE* stream, std::string& bytes) {
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, stream)) > 0) bytes.append(chunk, n);
  return !std::ferror(stream);
}

bool ReadInput(const std::string& name, std::string& bytes) {
  if (name == "-") {
    SetBinary(stdin);
    if (!ReadAll(stdin, bytes)) {
      Error("-: cannot read standard input");
      return false;
    }
    return true;
  }
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) {
    Error(name + ": " + std::strerror(errno));
    return false;
  }
  bool ok = ReadAll(file, bytes);
  std::fclose(file);
  if (!ok) Error(name + ": read error");
  return ok;
}

bool IsDirectory(const std::string& name) {
#if defined(_WIN32)
  (void)name;
  return false;  // opening a folder fails on Windows anyway
#else
  struct stat info;
  return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

// One file's job: its IO, its input (a file, or standard input held in memory) and
// the buffer its result text lands in.
struct FileJob {
  std::string name;
  int32_t io = 0;
  std::string memory_input;
  char result[130] = {};
  bool launched = false;
};

class Digester {
 public:
  Digester(const HostExports& exports, const Algorithm& algorithm, std::string key)
      : exports_(exports), algorithm_(algorithm), key_(std::move(key)) {}

  // Launches every job asynchronously; those that cannot start are reported and
  // left out. Standard input ("-") is read once, into memory.
  void LaunchAll(std::vector<std::unique_ptr<FileJob>>& jobs) {
    int32_t next_io = 1;
    for (auto& job : jobs) {
      job->io = next_io++;
      if (exports_.initialize(job->io, 0, 0, 0) != 0) {
        Error("out of memory");
        continue;
      }
      if (algorithm_.keyed) exports_.key_set(key_.c_str(), job->io, 0, 0);
      if (!BindInput(*job)) continue;
      TelvarnVarDesc out = Var(job->result);
      exports_.output_set(&out, job->io, TELVARN_MODE_MEMORY, static_cast<int32_t>(sizeof job->result - 1));
      if ((exports_.*algorithm_.job)(job->io, TELVARN_QUEUE, TELVARN_PRIORITY_NORMAL, 0) != 0) {
        Error(job->name + ": the job could not be started");
        continue;
      }
      job->launched = true;
    }
  }

  // The job's result text once it has finished; empty if it never started.
  std::string Result(FileJob& job) {
    if (!job.launched) return {};
    while (exports_.state(job.io, 0, 0, 0) != -TELVARN_JOB_FINISHED) {
    }
    return std::string(job.result, algorithm_.text_length);
  }

 private:
  bool BindInput(FileJob& job) {
    if (job.name == "-") {
      if (!ReadInput("-", job.memory_input)) return false;
      if (job.memory_input.size() > 0x7FFFFFFFu) {
        Error("-: standard input is larger than 2 GiB");
        return false;
      }
      TelvarnVarDesc in = Var(job.memory_input.c_str());
      // Length 0 means "up to the first NUL", which an empty input also satisfies.
      exports_.input_set(&in, job.io, TELVARN_MODE_MEMORY, static_cast<int32_t>(job.memory_input.size()));
      return true;
    }
    if (IsDirectory(job.name)) {
      Error(job.name + ": is a directory");
      return false;
    }
    TelvarnVarDesc in = Var(job.name.c_str());
    if (exports_.input_set(&in, job.io, TELVARN_MODE_FILE, 0) != 0) {
      std::FILE* probe = std::fopen(job.name.c_str(), "rb");
      Error(job.name + ": " + (probe == nullptr ? std::strerror(errno) : "cannot be opened"));
      if (probe != nullptr) std::fclose(probe);
      return false;
    }
    return true;
  }

  const HostExports& exports_;
  const Algorithm& algorithm_;
  std::string key_;
};

std::vector<std::unique_ptr<FileJob>> MakeJobs(const std::vector<std::string>& names) {
  std::vector<std::unique_ptr<FileJob>> jobs;
  for (const std::string& name : names) {
    jobs.push_back(std::make_unique<FileJob>());
    jobs.back()->name = name;
  }
  if (jobs.empty()) {
    jobs.push_back(std::make_unique<FileJob>());
    jobs.back()->name = "-";
  }
  return jobs;
}

int PrintDigests(const HostExports& exports, const Algorithm& algorithm, const std::string& key,
                 const std::vector<std::string>& names) {
  auto jobs = MakeJobs(names);
  Digester digester(exports, algorithm, key);
  digester.LaunchAll(jobs);
  int status = kOk;
  for (auto& job : jobs) {
    std::string digest = digester.Result(*job);
    if (digest.empty()) {
      status = kError;
      continue;
    }
    std::printf("%s  %s\n", digest.c_str(), job->name.c_str());
  }
  return status;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'F') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'F') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

int CheckSums(const HostExports& exports, const Algorithm& algorithm, const std::string& key,
              const std::string& sums_name) {
  std::string text;
  if (!ReadInput(sums_name, text)) return kError;
  std::vector<std::string> names, expected;
  int status = kOk;
  size_t line_number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // DIGEST, then two spaces (or a space and '*', the binary marker), then the name.
    size_t gap = line.find(' ');
    bool well_formed = gap == algorithm.text_length && line.size() > gap + 2 &&
                       (line[gap + 1] == ' ' || line[gap + 1] == '*');
    for (size_t i = 0; well_formed && i < gap; ++i) {
      well_formed = std::strchr("0123456789abcdefABCDEF", line[i]) != nullptr;
    }
    if (!well_formed) {
      Error(sums_name + ":" + std::to_string(line_number) + ": not a " + algorithm.name + " line");
      status = kError;
      continue;
    }
    expected.push_back(line.substr(0, gap));
    names.push_back(line.substr(gap + 2));
  }
  auto jobs = MakeJobs(names);
  if (names.empty()) jobs.clear();
  Digester digester(exports, algorithm, key);
  digester.LaunchAll(jobs);
  for (size_t i = 0; i < jobs.size(); ++i) {
    std::string digest = digester.Result(*jobs[i]);
    if (digest.empty()) {
      std::printf("%s: FAILED open or read\n", jobs[i]->name.c_str());
      status = kError;
    } else if (EqualIgnoringCase(digest, expected[i])) {
      std::printf("%s: OK\n", jobs[i]->name.c_str());
    } else {
      std::printf("%s: FAILED\n", jobs[i]->name.c_str());
      if (status == kOk) status = kMismatch;
    }
  }
  return status;
}

int Base64Encode(const HostExports& exports, bool wrap, const std::string& name) {
  std::string bytes;
  if (!ReadInput(name, bytes)) return kError;
  if (bytes.size() > 0x30000000u) {
    Error(name + ": too large to encode");
    return kError;
  }
  const size_t groups = (bytes.size() + 2) / 3;
  std::vector<char> text(4 * groups + 2 * (bytes.size() / 54 + 1) + 1);
  int32_t result = exports.base64_encode(text.data(), bytes.c_str(), static_cast<uint32_t>(bytes.size()),
                                         wrap ? TELVARN_BASE64_LINES : TELVARN_BASE64_ONE_LINE);
  if (result == 0 && !bytes.empty()) {
    Error(name + ": cannot be encoded");
    return kError;
  }
  SetBinary(stdout);
  std::fwrite(text.data(), 1, static_cast<size_t>(-static_cast<int64_t>(result)), stdout);
  if (!wrap) std::fputc('\n', stdout);
  return kOk;
}

int Base64Decode(const HostExports& exports, const std::string& name) {
  std::string text;
  if (!ReadInput(name, text)) return kError;
  // The module decodes every character, giving those outside the alphabet a value
  // of their own; the command refuses them instead, so that garbage is not decoded.
  for (char c : text) {
    if (std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n", c) ==
            nullptr ||
        c == '\0') {
      Error(name + ": not Base64 text");
      return kError;
    }
  }
  std::vector<char> bytes(text.size() * 3 / 4 + 4);
  int32_t result = exports.base64_decode(bytes.data(), text.data(), 0, 0);
  SetBinary(stdout);
  std::fwrite(bytes.data(), 1, static_cast<size_t>(-static_cast<int64_t>(result)), stdout);
  return kOk;
}

int Run(int argc, char** argv) {
  // Lines end in LF on every system, so a SUMS list made on one checks on another.
  SetBinary(stdout);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kError : kOk;
  }
  HostExports exports;
  std::string load_error;
  if (!LoadHostExports(exports, load_error)) {
    Error(load_error);
    return kError;
  }
  const std::string command = args[0];
  args.erase(args.begin());

  if (command == "base64") {
    if (args.empty() || args[0] == "--help") {
      std::fputs("usage: telvarn base64 encode [--wrap] [FILE]\n"
                 "       telvarn base64 decode [FILE]\n"
                 "Encodes FILE (or standard input) as Base64 text, one line or, with --wrap,\n"
                 "lines of 72 characters ending in CR LF; or decodes Base64 text (CR and LF\n"
                 "are skipped) back into bytes on standard output.\n",
                 args.empty() ? stderr : stdout);
      return args.empty() ? kError : kOk;
    }
    const std::string mode = args[0];
    bool wrap = false;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--wrap" && mode == "encode") {
        wrap = true;
      } else {
        files.push_back(args[i]);
      }
    }
    if (files.size() > 1 || (mode != "encode" && mode != "decode")) {
      Error("base64: expected encode [--wrap] [FILE] or decode [FILE]");
      return kError;
    }
    const std::string name = files.empty() ? "-" : files[0];
    return mode == "encode" ? Base64Encode(exports, wrap, name) : Base64Decode(exports, name);
  }

  const Algorithm* algorithm = nullptr;
  for (const Algorithm& a : kAlgorithms) {
    if (command == a.name) algorithm = &a;
  }
  if (algorithm == nullptr) {
    Error("unknown command '" + command + "'");
    std::fputs(kUsage, stderr);
    return kError;
  }
  std::string key, sums;
  bool has_key = false, check = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help") {
      std::printf("usage: telvarn %s %s[FILE...]\n       telvarn %s %s--check SUMS\n"
                  "Prints DIGEST  FILE for each FILE (standard input for none or -), or checks\n"
                  "the files a SUMS list names and reports each OK or FAILED.\n",
                  algorithm->name, algorithm->keyed ? "--key KEY " : "", algorithm->name,
                  algorithm->keyed ? "--key KEY " : "");
      return kOk;
    } else if (args[i] == "--key" && algorithm->keyed && i + 1 < args.size()) {
      key = args[++i];
      has_key = true;
    } else if (args[i] == "--check" && i + 1 < args.size()) {
      sums = args[++i];
      check = true;
    } else if (args[i].size() > 1 && args[i][0] == '-' && args[i] != "-") {
      Error("unknown option '" + args[i] + "' for " + command);
      return kError;
    } else {
      files.push_back(args[i]);
    }
  }
  if (algorithm->keyed && !has_key) {
    Error(command + ": --key KEY is required");
    return kError;
  }
  if (check) {
    if (!files.empty()) {
      Error(command + ": --check takes the SUMS file alone");
      return kError;
    }
    return CheckSums(exports, *algorithm, key, sums);
  }
  return PrintDigests(exports, *algorithm, key, files);
}

}  // namespace
}  // namespace telvarn

int main(int argc, char** argv) { return telvarn::Run(argc, argv); }
