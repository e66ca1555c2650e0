// Helpers shared by the tests: host variable descriptors, the variant report, scratch files, open-file checks, held inputs and outputs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "telvarn.h"

namespace telvarn::test {

// A variable descriptor as a host lays it out: the words the module must not read
// hold noise.
TelvarnVarDesc HostVar(const void* data, int32_t stride_words = 0);

// Records which block-function variants a test ran and which the processor lacks;
// the list is printed once when the test program ends, so a silent skip shows.
void NoteVariant(const std::string& algorithm, const char* variant, bool ran);

// `count` bytes from the generator, one draw a byte; from a generator seeded with
// `seed`; the same bytes as a string.
std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count);
std::vector<uint8_t> RandomBytes(uint32_t seed, size_t count);
std::string RandomString(std::mt19937& rng, size_t count);
// Two lower-case digits per byte, by printf: the tests' own hexadecimal text.
std::string LowerHex(const uint8_t* bytes, size_t size);

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The path of `name` inside the folder, as a narrow string for the exports.
  std::string path(const std::string& name) const;

 private:
  std::filesystem::path root_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Makes a file of `size` bytes without writing them (sparse where the file system can).
void MakeSizedFile(const std::string& path, uint64_t size);
// Whether this process still holds the file open.
bool IsFileOpenHere(const std::string& path);
// Open handles of this process (Windows) or open descriptors (elsewhere).
int64_t CountProcessHandles();
// The same by the type of their objects ("Event", "Thread", ...); elsewhere all
// under "descriptor".
std::map<std::string, int64_t> CountProcessHandlesByType();
// Threads of this process that exist at the moment: from a snapshot of the
// system's threads (Windows) or the entries of /proc/self/task (elsewhere); -1
// when they cannot be counted.
int64_t CountProcessThreads();

// Readable bytes that end where an inaccessible page begins: a read past end() faults.
class PageEndBuffer {
 public:
  explicit PageEndBuffer(size_t size);
  ~PageEndBuffer();
  PageEndBuffer(const PageEndBuffer&) = delete;
  PageEndBuffer& operator=(const PageEndBuffer&) = delete;

  uint8_t* end() const { return end_; }

 private:
  void* mapping_ = nullptr;
  size_t mapped_ = 0;
  uint8_t* end_ = nullptr;
};

// An input that holds a job: a named pipe (Windows) or a FIFO (elsewhere) whose
// reader blocks until the test writes its bytes and closes it. Bind name() as an
// input file; the binding connects at once.
class HeldInput {
 public:
  // kObserved lets the test see its reader take bytes (FeedOneByte). On Windows
  // the pipe then holds no bytes of its own, so every write waits for the reader.
  enum class Reads { kUnobserved, kObserved };

  explicit HeldInput(Reads reads = Reads::kUnobserved);
  ~HeldInput();
  HeldInput(const HeldInput&) = delete;
  HeldInput& operator=(const HeldInput&) = delete;

  const std::string& name() const { return name_; }
  // Writes the bytes and keeps the pipe open: the reader sees them and waits for
  // more. Returns once the pipe holds them (or the reader has taken them).
  void Feed(const std::string& bytes);
  // Writes the bytes and closes the pipe: the reader then sees them and the end.
  void Release(const std::string& bytes = "");
  // kObserved only: writes one byte and returns once the reader has taken it, so
  // that the reader is then inside a read that waits for more; false if it did
  // not take it within the time-out (on Windows the write waits for as long as
  // it takes).
  bool FeedOneByte(uint32_t timeout_ms);

 private:
  std::string name_;
#if defined(_WIN32)
  void* pipe_ = nullptr;
#else
  std::filesystem::path folder_;
  int fd_ = -1;
#endif
};

// An output that holds a job's write: a named pipe without buffer space (Windows)
// or a FIFO filled to the brim (elsewhere), whose reader reads nothing until
// Drain. Bind name() as an output file; the binding connects at once.
class HeldOutput {
 public:
  HeldOutput();
  ~HeldOutput();
  HeldOutput(const HeldOutput&) = delete;
  HeldOutput& operator=(const HeldOutput&) = delete;

  const std::string& name() const { return name_; }
  // The bytes the test itself put into the pipe to fill it.
  const std::string& filler() const { return filler_; }
  // Reads everything in the pipe until every writer has closed it or `timeout_ms`
  // has passed: the filler first, then whatever the module wrote.
  std::string Drain(uint32_t timeout_ms);

 private:
  std::string name_;
  std::string filler_;
#if defined(_WIN32)
  void* pipe_ = nullptr;
#else
  std::filesystem::path folder_;
  int read_fd_ = -1;
  int fill_fd_ = -1;
#endif
};

}  // namespace telvarn::test
