// The digest commands: printing digests as checksum lines, and checking lists of them.
#pragma once

#include "cli/console.h"
#include "cli/digest_runner.h"
#include "cli/system.h"

namespace telvarn::cli {

// Runs `telvarn ALGORITHM ARGS...` (ARGS without the command word).
int RunDigestCommand(Console& console, const HostExports& exports, const Algorithm& algorithm,
                     const Arguments& args);

void PrintDigestHelp(Console& console, const Algorithm& algorithm);

// One line of a checksum list as the GNU and BSD formats write it. `reversed` is the
// list's memory of the "DIGEST NAME" form with one blank: -1 not yet seen, 0 the
// list uses two-character separators, 1 it uses the one blank. False when the line
// is not a well-formed line for this algorithm.
struct SumsLine {
  std::string digest;
  std::string name;  // unescaped when the line starts with '\\'
};
bool ParseSumsLine(const std::string& line, const Algorithm& algorithm, int& reversed, SumsLine& parsed);

}  // namespace telvarn::cli
