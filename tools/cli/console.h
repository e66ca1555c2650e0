// The program's standard streams, its messages and its exit codes.
#pragma once

#include <string>

#include "cli/progress_line.h"
#include "cli/system.h"

namespace telvarn::cli {

// Exit codes: 0 all good; 1 a checksum did not match, a file could not be read, a
// list or a Base64 text was malformed; 2 the program's own errors (usage, a key
// the module cannot hold, the module not loaded, a failed write).
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitError = 2;

class Console {
 public:
  Console() : out_(OutputStream::Which::kStandardOutput), err_(OutputStream::Which::kStandardError) {}

  OutputStream& out() { return out_; }
  // Standard error, for the progress line alone; messages go through Error().
  OutputStream& err() { return err_; }
  // "telvarn: MESSAGE" on standard error, after what standard output holds so far
  // and once the progress line, if one is shown, is erased.
  void Error(const std::string& message);
  // The progress line that Error() erases first; nullptr for none.
  void AttachProgress(ProgressLine* progress) { progress_ = progress; }
  // An error in the command line, with the hint where help is.
  int UsageError(const std::string& command, const std::string& message);
  // The exit code once standard output is written out: a failed write is reported
  // and turns any result into kExitError.
  int Finish(int status);

 private:
  OutputStream out_;
  OutputStream err_;
  ProgressLine* progress_ = nullptr;
};

// Attaches a progress line to the console for as long as it lives.
class AttachedProgress {
 public:
  AttachedProgress(Console& console, ProgressLine& progress) : console_(console) {
    console_.AttachProgress(&progress);
  }
  ~AttachedProgress() { console_.AttachProgress(nullptr); }
  AttachedProgress(const AttachedProgress&) = delete;
  AttachedProgress& operator=(const AttachedProgress&) = delete;

 private:
  Console& console_;
};

// `telvarn --version` and every command's --version: the versions of the program
// and of the module it loaded. Returns the exit code.
int PrintVersion(Console& console);

}  // namespace telvarn::cli
