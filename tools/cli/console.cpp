// Messages on standard error and the exit code that a failed write overrides.
#include "cli/console.h"

#include <xxhash.h>

#include "telvarn.h"

namespace telvarn::cli {

void Console::Error(const std::string& message) {
  if (progress_ != nullptr) progress_->Hide();
  out_.Flush();
  err_.Write("telvarn: " + message + "\n");
  err_.Flush();
}

int Console::UsageError(const std::string& command, const std::string& message) {
  Error(message);
  const std::string help = command.empty() ? "telvarn --help" : "telvarn " + command + " --help";
  err_.Write("Try '" + help + "' for more information.\n");
  err_.Flush();
  return kExitError;
}

int Console::Finish(int status) {
  if (!out_.Flush()) {
    const std::string reason = out_.error();
    err_.Write("telvarn: write error: " + reason + "\n");
    err_.Flush();
    return kExitError;
  }
  return status;
}

// The module of this build compiles XXH3 from this same xxHash header.
#define TELVARN_STRING(x) #x
#define TELVARN_TEXT_OF(x) TELVARN_STRING(x)
constexpr char kXxhashVersion[] = TELVARN_TEXT_OF(XXH_VERSION_MAJOR) "." TELVARN_TEXT_OF(
    XXH_VERSION_MINOR) "." TELVARN_TEXT_OF(XXH_VERSION_RELEASE);

int PrintVersion(Console& console) {
  console.out().Write("telvarn " + ProgramVersion() + "\n" TELVARN_MODULE_NAME " " + ModuleVersion() +
                      "\nwith xxHash " + kXxhashVersion + " (BSD 2-clause, LICENSE.xxHash)\n");
  return console.Finish(kExitOk);
}

}  // namespace telvarn::cli
