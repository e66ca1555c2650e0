// telvarn: digests, checksum lists and Base64 from the command line, every result
// computed by the module's exports, called exactly as a host calls them.
#include <cstdio>
#include <cstdlib>

#include "cli/app.h"

namespace {

// A harness that runs the program under Wine (scripts/wine-run.sh) names a file in
// TELVARN_STARTED_MARK and finds it written once main is reached: a run that ends
// without it is one that Wine never started, not a result of the program's.
void LeaveStartedMark() {
  if (const char* mark = std::getenv("TELVARN_STARTED_MARK")) {
    if (std::FILE* file = std::fopen(mark, "w")) std::fclose(file);
  }
}

}  // namespace

#if defined(_WIN32)
// Arguments come as UTF-16, so that any name the system can hold reaches the program,
// and are split from the command line here rather than by the C runtime, which
// would not say which were quoted: only unquoted patterns are expanded.
int wmain(int, wchar_t**) {
  LeaveStartedMark();
  telvarn::cli::PatternArguments patterns;
  const telvarn::cli::Arguments args = telvarn::cli::CommandLineArguments(patterns);
  return telvarn::cli::Main(args, patterns);
}
#else
int main(int argc, char** argv) {
  LeaveStartedMark();
  return telvarn::cli::Main(telvarn::cli::Arguments(argv, argv + argc));
}
#endif
