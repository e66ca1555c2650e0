// telvarn: digests, checksum lists and Base64 from the command line, every result
// computed by the module's exports, called exactly as a host calls them.
#include "cli/app.h"

#if defined(_WIN32)
// Arguments come as UTF-16, so that any name the system can hold reaches the program,
// and are split from the command line here rather than by the C runtime, which
// would not say which were quoted: only unquoted patterns are expanded.
int wmain(int, wchar_t**) {
  telvarn::cli::PatternArguments patterns;
  const telvarn::cli::Arguments args = telvarn::cli::CommandLineArguments(patterns);
  return telvarn::cli::Main(args, patterns);
}
#else
int main(int argc, char** argv) { return telvarn::cli::Main(telvarn::cli::Arguments(argv, argv + argc)); }
#endif
