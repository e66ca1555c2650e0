// telvarn: digests, checksum lists and Base64 from the command line, every result
// computed by the module's exports, called exactly as a host calls them.
#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "cli/base64_command.h"
#include "cli/console.h"
#include "cli/digest_command.h"
#include "cli/digest_runner.h"
#include "cli/system.h"
#include "module_binding/module_binding.h"


namespace telvarn::cli {
namespace {

// The digest commands, plain or keyed, as "a | b | c".
std::string CommandList(bool keyed) {
  std::string list;
  for (const Algorithm& algorithm : Algorithms()) {
    if (algorithm.keyed != keyed) continue;
    list += (list.empty() ? "" : " | ") + algorithm.command;
  }
  return list;
}

// The plain commands that take a key for the algorithm's own keyed mode, as "a | b".
std::string OwnKeyedCommandList() {
  std::string list;
  for (const Algorithm& algorithm : Algorithms()) {
    if (algorithm.key_rule != nullptr) list += (list.empty() ? "" : " | ") + algorithm.command;
  }
  return list;
}

void PrintUsage(Console& console) {
  console.out().Write(
      "usage: telvarn COMMAND [OPTION]... [FILE]...\n"
      "\n"
      "Digests, one line per FILE (DIGEST  FILE); no FILE, or -, reads standard input:\n"
      "  " + CommandList(false) + " [FILE]...\n"
      "  " + CommandList(true) + "\n"
      "      --key TEXT | --key-file FILE | --key-hex HEX [FILE]...\n"
      "  " + OwnKeyedCommandList() + " --key TEXT | ...   the digest's own keyed mode, not HMAC\n"
      "  ALGORITHM -c [LIST]...      check the files that the LISTs name\n"
      "  ALGORITHM -j N [FILE]...    N files at once (default: every processor), same output\n"
      "  ALGORITHM -r [FILE]...      the files under each FILE that is a directory\n"
      "  ALGORITHM --tag [FILE]...   BSD-style lines: SHA256 (FILE) = DIGEST\n"
      "Base64:\n"
      "  base64 [encode] [-w COLS] [--crlf | --module-lines] [FILE]\n"
      "  base64 decode [FILE]\n"
      "\n"
      "Digests are written in lower-case hexadecimal, as sha256sum and md5sum write\n"
      "them (--upper: upper case); checking ignores the case, so lists check here and\n"
      "with the GNU tools alike.\n"
      "\n"
      "Exit status: 0 all good; 1 a digest did not match, a file could not be read,\n"
      "or an input was malformed; 2 a usage error, a key the module cannot hold, the\n"
      "module not loaded, or a failed write.\n"
      "telvarn COMMAND --help shows the options of one command; telvarn --version the\n"
      "versions of the program and of " TELVARN_MODULE_NAME ".\n");
}

int Run(Console& console, const Arguments& all, const PatternArguments& all_patterns) {
  Arguments args(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (args.empty()) return console.Finish(console.UsageError("", "a command is missing"));
  const std::string command = args[0];
  args.erase(args.begin());
  // Marked like the command's arguments, which follow the program's name and the command.
  const PatternArguments patterns(all_patterns.begin() + std::min<size_t>(2, all_patterns.size()),
                                  all_patterns.end());
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(console);
    return console.Finish(kExitOk);
  }

  ModuleExports exports{};
  std::string load_error;
  if (!LoadModuleExports(exports, load_error)) {
    console.Error(load_error);
    return console.Finish(kExitError);
  }
  if (command == "--version" || command == "version") {
    return PrintVersion(console);
  }
  if (command == "base64") return RunBase64Command(console, exports, args, patterns);
  if (const Algorithm* algorithm = FindAlgorithm(command)) {
    return RunDigestCommand(console, exports, *algorithm, args, patterns);
  }
  if (!command.empty() && command[0] == '-') {
    return console.UsageError("", "unrecognized option '" + command + "' (a command comes first)");
  }
  return console.UsageError("", "unknown command '" + command + "'");
}

}  // namespace

int Main(const Arguments& args, const PatternArguments& patterns) {
  Console console;
  try {
    return Run(console, args, patterns);
  } catch (const std::bad_alloc&) {
    console.Error("out of memory");
  } catch (const std::exception& error) {
    console.Error(error.what());
  }
  return kExitError;
}

}  // namespace telvarn::cli
