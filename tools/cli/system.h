// What telvarn needs of the operating system: Unicode file names, reading, the standard
// streams, the pipe that carries bytes to the module, and version facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace telvarn::cli {

// The command line as UTF-8 text, whatever the system hands over.
using Arguments = std::vector<std::string>;
// Which arguments, by index, name files by a pattern that the program expands itself.
// Windows shells pass `*` and `?` through to the program: there, an argument whose
// last component holds `*` or `?`, none of them inside double quotes, is a pattern,
// as the Windows builds of the GNU tools take it. Elsewhere the shell has expanded
// patterns already and none is.
using PatternArguments = std::vector<bool>;

#if defined(_WIN32)
// The arguments of the process's command line (GetCommandLineW), split by the C
// runtime's rules, and which of them are patterns.
Arguments CommandLineArguments(PatternArguments& patterns);
#endif

// The names that a pattern argument matches in its folder, each with the folder as
// written, in byte order; none when nothing matches ("." and ".." never do).
std::vector<std::string> MatchFilePattern(const std::string& pattern);

// A file descriptor natively, a HANDLE on Windows. Neither system hands out -1 for
// an open file (on Windows it is INVALID_HANDLE_VALUE), so it marks "none" on both.
using SystemHandle = intptr_t;
inline constexpr SystemHandle kNoHandle = -1;

// A file or the standard input, open for reading. Failures carry their reason in
// words ("No such file or directory"), as the program prints them.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  InputFile(InputFile&& other) noexcept { *this = std::move(other); }
  InputFile& operator=(InputFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoHandle);
      owned_ = std::exchange(other.owned_, false);
      regular_ = other.regular_;
      missing_ = other.missing_;
      size_ = other.size_;
      error_ = std::move(other.error_);
    }
    return *this;
  }

  // Opens a file by its UTF-8 name. A folder does not open: "Is a directory".
  bool Open(const std::string& name);
  void OpenStandardInput();
  // Whether the file is a regular file on disk (not a pipe, a console or a device).
  bool regular() const { return regular_; }
  uint64_t size() const { return size_; }
  // Whether the last failure was that the file does not exist.
  bool missing() const { return missing_; }
  const std::string& error() const { return error_; }

  // Reads up to `count` bytes: the number read, 0 at the end, -1 on an error.
  int64_t Read(void* buffer, size_t count);
  // Reads until `count` bytes or the end: the number read, -1 on an error.
  int64_t ReadFull(void* buffer, size_t count);
  void Close();

 private:
  void Fail(uint32_t system_error);
  void Describe();

  SystemHandle handle_ = kNoHandle;
  bool owned_ = false;
  bool regular_ = false;
  bool missing_ = false;
  uint64_t size_ = 0;
  std::string error_;
};

// Standard output or standard error, written through a buffer of the program's own.
// Text goes out as UTF-8 to files and pipes and as Unicode characters to a console;
// bytes marked binary always go out unchanged. A failed write is kept, not retried.
class OutputStream {
 public:
  enum class Which { kStandardOutput, kStandardError };
  explicit OutputStream(Which which);
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  void Write(const char* bytes, size_t count);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Binary bytes (decoded Base64): never converted for a console.
  void WriteBinary(const char* bytes, size_t count);
  bool Flush();
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  // A console or terminal, where a person reads.
  bool interactive() const { return interactive_; }

 private:
  bool WriteOut(const char* bytes, size_t count, bool binary);

  SystemHandle handle_ = kNoHandle;
  bool console_ = false;  // a Windows console, which takes characters rather than bytes
  std::vector<char> buffer_;
  bool buffer_binary_ = false;
  bool interactive_ = false;  // a console or terminal: written out at each write
  bool failed_ = false;
  std::string error_;
};

// A pipe whose reading end the module opens by name as a file: the program writes
// what it has read (standard input, or a file the module cannot name) into it, and
// the module reads it chunk by chunk in bounded memory.
class ModulePipe {
 public:
  ModulePipe() = default;
  ~ModulePipe();
  ModulePipe(const ModulePipe&) = delete;
  ModulePipe& operator=(const ModulePipe&) = delete;

  bool Create();
  // The name to bind as the job's input file (plain ASCII).
  const std::string& name() const { return name_; }
  // Once the module holds its own reading end: drops the program's copy, if any.
  void ReaderBound();
  // Writes everything; false once the reader has gone.
  bool WriteAll(const char* bytes, size_t count);
  // Ends the stream: the module reads to its end and finishes.
  void CloseWriter();
  const std::string& error() const { return error_; }

 private:
  std::string name_;
  std::string error_;
  // The program's copy of the reading end, held until the module has its own (a
  // POSIX pipe; a named pipe's reader connects by name and leaves it empty).
  SystemHandle reader_ = kNoHandle;
  SystemHandle writer_ = kNoHandle;
};

// A temporary file of the program's own, removed when closed: where a stream that
// has to be read twice waits for its second reading.
class SpoolFile {
 public:
  SpoolFile() = default;
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  bool Create();
  bool Write(const char* bytes, size_t count);
  // Back to the start, for reading.
  bool Rewind();
  // Up to `count` bytes: the number read, 0 at the end, -1 on an error.
  int64_t Read(char* bytes, size_t count);
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  SystemHandle handle_ = kNoHandle;
};

// Whether the name is that of a regular file (not a folder, device or pipe), with
// its size; a look at the name alone, cheaper than opening the file.
bool LooksLikeRegularFile(const std::string& name, uint64_t& size);

// Whether the input ("-" for standard input) is a stream rather than a file that each
// opening reads from its start: a pipe, a FIFO, a terminal or another device, and
// standard input whatever it is. Such an input's readers share its bytes, whatever
// name each was given, so `identity` says which stream it is: its device and inode
// natively; on Windows, for standard input its volume serial and file index (or that
// it is the standard input, when it has none), for a device or pipe its full name.
// A regular file and a folder are not streams, nor, natively, a name that cannot be
// looked at (on Windows, where a pipe's name cannot be, it counts as a stream's).
bool StreamIdentity(const std::string& name, std::string& identity);

// What a walk of a tree (-r) makes of an entry of a folder: a link is followed only to
// tell a file from a folder, and a link to a folder is never entered, so that no loop
// of links can hold a walk.
enum class EntryKind {
  kFile,     // a regular file, or a link to one
  kFolder,   // a folder itself, not a link to one
  kSkipped,  // a link to a folder, a dangling link, a device, a pipe or a socket
};
struct FolderEntry {
  std::string name;  // UTF-8, without the folder's path
  EntryKind kind;
};

// What a walk makes of an entry of a Windows folder listing, from its attributes and,
// for a reparse point, its tag (WIN32_FIND_DATAW's dwReserved0). Only name
// surrogates (symbolic links, junctions) are links, and a reparse point listed
// without a tag (Wine lists its links so); any other reparse point (the placeholder
// of a cloud-synced file or folder, a deduplicated file) is the file or folder it
// stands for. A link to a file is taken as its target: `target_is_file` is asked
// then, and says whether the target is there and is a file. The values are
// Windows' own, so that the rule is tested on every system.
enum : uint32_t {
  kWindowsAttributeDirectory = 0x10,             // FILE_ATTRIBUTE_DIRECTORY
  kWindowsAttributeDevice = 0x40,                // FILE_ATTRIBUTE_DEVICE
  kWindowsAttributeReparsePoint = 0x400,         // FILE_ATTRIBUTE_REPARSE_POINT
  kWindowsReparseTagNameSurrogate = 0x20000000,  // the bit IsReparseTagNameSurrogate tests
};
EntryKind WindowsEntryKind(uint32_t attributes, uint32_t reparse_tag, const std::function<bool()>& target_is_file);

// The entries of a folder (not "." and ".."), in no particular order; false, with the
// reason in words, when it cannot be read.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error);
// Whether the name is a folder, following links (a name given on the command line).
bool IsFolder(const std::string& name);

// The UTF-8 name turned into bytes that the module can pass to the C runtime's
// fopen and reach the same file; empty when the system's code page cannot spell it.
std::string ModuleFileName(const std::string& name);

// Processors this process may run on.
uint32_t ProcessorCount();

// "1.0.0" from the program's and the loaded module's version resources, or the
// version the program was built with where there are none.
std::string ProgramVersion();
std::string ModuleVersion();

}  // namespace telvarn::cli
