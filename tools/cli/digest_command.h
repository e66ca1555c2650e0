// The digest commands: printing digests as checksum lines, and checking lists of them.
#pragma once

#include "cli/console.h"
#include "cli/digest_runner.h"
#include "cli/system.h"

namespace telvarn::cli {

// Runs `telvarn ALGORITHM ARGS...` (ARGS without the command word).
int RunDigestCommand(Console& console, const ModuleExports& exports, const Algorithm& algorithm,
                     const Arguments& args, const PatternArguments& patterns);

void PrintDigestHelp(Console& console, const Algorithm& algorithm);

}  // namespace telvarn::cli
