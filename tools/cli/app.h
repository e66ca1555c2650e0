// The command-line program as a function: the arguments in UTF-8, the exit code out.
#pragma once

#include "cli/system.h"

namespace telvarn::cli {

// Runs `telvarn COMMAND ...` (args[0] is the program's name) and returns its exit code.
// `patterns` marks the arguments that name files by a pattern (none on Linux).
int Main(const Arguments& args, const PatternArguments& patterns = {});

}  // namespace telvarn::cli
