// telvarn: digests, checksum lists and Base64 from the command line, every result
// computed by the module's exports, called exactly as a host calls them.
#include "cli/app.h"
#include "cli/text.h"

#if defined(_WIN32)
// Arguments come as UTF-16, so that any name the system can hold reaches the program.
int wmain(int argc, wchar_t** argv) {
  telvarn::cli::Arguments args;
  for (int i = 0; i < argc; ++i) args.push_back(telvarn::cli::Utf8FromWide(argv[i]));
  return telvarn::cli::Main(args);
}
#else
int main(int argc, char** argv) { return telvarn::cli::Main(telvarn::cli::Arguments(argv, argv + argc)); }
#endif
