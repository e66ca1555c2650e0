// Messages on standard error and the exit code that a failed write overrides.
#include "cli/console.h"

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

int PrintVersion(Console& console) {
  console.out().Write("telvarn " + ProgramVersion() + "\n" TELVARN_MODULE_NAME " " + ModuleVersion() + "\n");
  return console.Finish(kExitOk);
}

}  // namespace telvarn::cli
