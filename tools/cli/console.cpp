// Messages on standard error and the exit code that a failed write overrides.
#include "cli/console.h"

namespace telvarn::cli {

void Console::Error(const std::string& message) {
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

}  // namespace telvarn::cli
