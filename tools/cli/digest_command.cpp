// The digest commands: their options, checksum lines out, and check mode as the
// coreutils sum programs behave (messages, summaries and exit codes).
#include "cli/digest_command.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "cli/folder_walk.h"
#include "cli/option_scanner.h"
#include "cli/sums_line.h"
#include "cli/text.h"
#include "codec/hex.h"
#include "telvarn.h"

namespace telvarn::cli {
namespace {

// --quiet, --status and --warn each undo the other two: the last one given counts.
enum class Verbosity { kDefault, kQuiet, kStatus, kWarn };

struct DigestOptions {
  bool check = false;
  bool tag = false;
  Verbosity verbosity = Verbosity::kDefault;
  bool strict = false;
  bool ignore_missing = false;
  bool zero = false;
  bool binary_marker = false;
  bool upper = false;
  bool progress = false;
  uint32_t jobs = 0;  // -j: files digested at once
  bool recursive = false;
  bool keyed = false;  // a key option was given
  std::string key;
  std::vector<std::string> files;
};

// --keyed's key: exactly `length` bytes from standard input, with b3sum's words
// for any other count.
bool KeyFromStandardInput(size_t length, std::string& key, std::string& error) {
  InputFile file;
  file.OpenStandardInput();
  key.assign(length + 1, '\0');
  const int64_t got = file.ReadFull(&key[0], key.size());
  if (got < 0) {
    error = "standard input: " + file.error();
    return false;
  }
  key.resize(static_cast<size_t>(got));
  if (key.size() == length) return true;
  error = key.size() > length ? "read more than " + std::to_string(length) + " key bytes from standard input"
                              : "expected " + std::to_string(length) + " key bytes from standard input, found " +
                                    std::to_string(key.size());
  return false;
}

std::string HexOf(const std::string& bytes) {
  std::string hex(bytes.size() * 2, '\0');
  WriteBytesHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), /*upper=*/false, &hex[0]);
  return hex;
}

// The key as bytes, from the one option that gave it; "" and false with a message
// when it cannot be had or the module could not hold it whole. `nul_allowed` when
// the module is handed the key's hexadecimal digits instead of its bytes.
bool KeyFromOption(const std::string& option, const std::string& value, bool nul_allowed, std::string& key,
                   std::string& error) {
  if (option == "--key") {
    key = value;
  } else if (option == "--key-hex") {
    if (value.size() % 2 != 0) {
      error = "--key-hex: an odd number of hexadecimal digits";
      return false;
    }
    key.clear();
    for (size_t i = 0; i < value.size(); i += 2) {
      const int high = HexValue(value[i]);
      const int low = HexValue(value[i + 1]);
      if (high < 0 || low < 0) {
        error = "--key-hex: '" + value.substr(i, 2) + "' is not a hexadecimal byte";
        return false;
      }
      key += static_cast<char>(high * 16 + low);
    }
  } else {
    InputFile file;
    if (value == "-") {
      file.OpenStandardInput();
    } else if (!file.Open(value)) {
      error = QuoteName(value) + ": " + file.error();
      return false;
    }
    // One byte more than the module can hold tells a key that is too long.
    key.assign(kMaxKeyBytes + 1, '\0');
    const int64_t got = file.ReadFull(&key[0], key.size());
    if (got < 0) {
      error = QuoteName(value) + ": " + file.error();
      return false;
    }
    key.resize(static_cast<size_t>(got));
  }
  if (key.size() > kMaxKeyBytes) {
    error = "the key is longer than " + std::to_string(kMaxKeyBytes) +
            " bytes, which is all the module can hold";
    return false;
  }
  if (!nul_allowed && key.find('\0') != std::string::npos) {
    error = "the key holds a NUL byte, where the module would end it";
    return false;
  }
  return true;
}

enum DigestOptionId {
  kBinary, kCheck, kTag, kText, kZero, kIgnoreMissing, kQuiet, kStatus, kStrict, kWarn, kUpper, kHelp,
  kVersion, kProgress, kJobs, kRecursive, kKey, kKeyFile, kKeyHex, kKeyed
};

// The options of every digest command, in the order GNU lists its ambiguities.
constexpr OptionForm kDigestOptions[] = {
    {"binary", 'b', OptionArgument::kNone, kBinary},
    {"check", 'c', OptionArgument::kNone, kCheck},
    {"tag", '\0', OptionArgument::kNone, kTag},
    {"text", 't', OptionArgument::kNone, kText},
    {"zero", 'z', OptionArgument::kNone, kZero},
    {"ignore-missing", '\0', OptionArgument::kNone, kIgnoreMissing},
    {"quiet", '\0', OptionArgument::kNone, kQuiet},
    {"status", '\0', OptionArgument::kNone, kStatus},
    {"strict", '\0', OptionArgument::kNone, kStrict},
    {"warn", 'w', OptionArgument::kNone, kWarn},
    {"upper", '\0', OptionArgument::kNone, kUpper},
    {"help", 'h', OptionArgument::kNone, kHelp},
    {"version", '\0', OptionArgument::kNone, kVersion},
    {"progress", '\0', OptionArgument::kNone, kProgress},
    {"jobs", 'j', OptionArgument::kRequired, kJobs},
    {"recursive", 'r', OptionArgument::kNone, kRecursive},
};
// The keyed commands' options besides.
constexpr OptionForm kKeyOptions[] = {
    {"key", '\0', OptionArgument::kRequired, kKey},
    {"key-file", '\0', OptionArgument::kRequired, kKeyFile},
    {"key-hex", '\0', OptionArgument::kRequired, kKeyHex},
};
// b3sum's: the key is the raw bytes of standard input.
constexpr OptionForm kKeyedOption = {"keyed", '\0', OptionArgument::kNone, kKeyed};

// -j's count: decimal digits, at least 1; a count past kMostDigestThreads is taken
// as that many.
bool ParseJobCount(const std::string& value, uint32_t& jobs) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
  const size_t first = value.find_first_not_of('0');
  if (first == std::string::npos) return false;
  jobs = value.size() - first > 3 ? kMostDigestThreads
                                  : std::min<uint32_t>(static_cast<uint32_t>(std::stoul(value.substr(first))),
                                                       kMostDigestThreads);
  return true;
}

// Parses the options in any order; `--` ends them. Returns -1 to go on, or the exit
// code when parsing ended the command (help, version, an error). Options combine
// and refuse to combine as those of the GNU sum programs do.
int ParseOptions(Console& console, const Algorithm& algorithm, const Arguments& args,
                 const PatternArguments& patterns, DigestOptions& options) {
  const std::string command = algorithm.command;
  std::vector<OptionForm> forms(std::begin(kDigestOptions), std::end(kDigestOptions));
  if (algorithm.keyed || algorithm.key_rule != nullptr) {
    forms.insert(forms.end(), std::begin(kKeyOptions), std::end(kKeyOptions));
  }
  if (algorithm.key_bytes_as_hex != 0) forms.push_back(kKeyedOption);
  ScannedArguments scanned;
  std::string error;
  if (!ScanOptions(args, forms.data(), forms.size(), scanned, error)) return console.UsageError(command, error);
  ExpandOperandPatterns(scanned, patterns, MatchFilePattern);
  // -1 neither, 0 --text, 1 --binary (or --tag, which implies it): the last counts.
  int binary = -1;
  const char* key_option = nullptr;
  std::string key_value;
  for (const ScannedOption& option : scanned.options) {
    switch (option.id) {
      case kBinary: binary = 1; break;
      case kCheck: options.check = true; break;
      case kTag: options.tag = true; binary = 1; break;
      case kText: binary = 0; break;
      case kZero: options.zero = true; break;
      case kIgnoreMissing: options.ignore_missing = true; break;
      case kQuiet: options.verbosity = Verbosity::kQuiet; break;
      case kStatus: options.verbosity = Verbosity::kStatus; break;
      case kStrict: options.strict = true; break;
      case kWarn: options.verbosity = Verbosity::kWarn; break;
      case kUpper: options.upper = true; break;
      case kProgress: options.progress = true; break;
      case kRecursive: options.recursive = true; break;
      case kJobs:
        if (!ParseJobCount(option.value, options.jobs)) {
          return console.UsageError(command, "invalid number of jobs: " + QuoteAlways(option.value));
        }
        break;
      case kHelp:
        PrintDigestHelp(console, algorithm);
        return console.Finish(kExitOk);
      case kVersion:
        return PrintVersion(console);
      default:
        if (key_option != nullptr) {
          return console.UsageError(command, std::string("give the key once: --key, --key-file") +
                                                 (algorithm.key_bytes_as_hex != 0 ? ", --key-hex or --keyed"
                                                                                   : " or --key-hex"));
        }
        key_option = option.id == kKey       ? "--key"
                     : option.id == kKeyFile ? "--key-file"
                     : option.id == kKeyHex  ? "--key-hex"
                                             : "--keyed";
        key_value = option.value;
        break;
    }
  }
  options.files = std::move(scanned.operands);
  if (options.jobs == 0) options.jobs = ProcessorCount();
  options.binary_marker = binary == 1;
  if (options.tag && binary == 0) return console.UsageError(command, "--tag does not support --text mode");
  if (options.check) {
    if (options.zero) {
      return console.UsageError(command, "the --zero option is not supported when verifying checksums");
    }
    if (options.tag) return console.UsageError(command, "the --tag option is meaningless when verifying checksums");
    if (options.recursive) {
      return console.UsageError(command, "the --recursive option is meaningless when verifying checksums");
    }
    if (binary >= 0) {
      return console.UsageError(command,
                                "the --binary and --text options are meaningless when verifying checksums");
    }
  } else {
    const char* check_only = options.ignore_missing                    ? "--ignore-missing"
                             : options.verbosity == Verbosity::kStatus ? "--status"
                             : options.verbosity == Verbosity::kWarn   ? "--warn"
                             : options.verbosity == Verbosity::kQuiet  ? "--quiet"
                             : options.strict                          ? "--strict"
                                                                       : nullptr;
    if (check_only != nullptr) {
      return console.UsageError(command, std::string("the ") + check_only +
                                             " option is meaningful only when verifying checksums");
    }
  }
  if (algorithm.keyed && key_option == nullptr) {
    return console.UsageError(command, command + " needs a key: --key TEXT, --key-file FILE or --key-hex HEX");
  }
  if (key_option != nullptr) {
    const bool key_from_stdin = std::strcmp(key_option, "--keyed") == 0 ||
                                (std::strcmp(key_option, "--key-file") == 0 && key_value == "-");
    // Standard input holds the key; none of it is left for a FILE or LIST.
    if (key_from_stdin &&
        (options.files.empty() || std::find(options.files.begin(), options.files.end(), "-") != options.files.end())) {
      return console.UsageError(command, std::string("the key is read from standard input (") + key_option +
                                             "): name the " + (options.check ? "LIST" : "FILE") +
                                             "s, none of them -");
    }
    const size_t exact = algorithm.key_bytes_as_hex;
    const bool got_key = std::strcmp(key_option, "--keyed") == 0
                             ? KeyFromStandardInput(exact, options.key, error)
                             : KeyFromOption(key_option, key_value, exact != 0, options.key, error);
    if (!got_key) {
      console.Error(error);
      return kExitError;
    }
    const KeyRule* rule = algorithm.key_rule;
    if (exact != 0) {
      // Of any other length, the key is refused, never padded or cut.
      if (options.key.size() != exact) {
        console.Error("the key of " + command + " must be exactly " + std::to_string(exact) + " bytes (" +
                      std::to_string(exact * 2) + " digits with --key-hex); this one has " +
                      std::to_string(options.key.size()));
        return kExitError;
      }
      options.key = HexOf(options.key);
    }
    // The algorithm's own keyed mode takes only the keys its rule accepts, as the
    // module does at launch: a longer key is refused, never cut.
    if (rule != nullptr &&
        !rule->accepts(reinterpret_cast<const uint8_t*>(options.key.data()), options.key.size())) {
      console.Error("the key of " + command + " must be " + rule->what + "; this one has " +
                    std::to_string(options.key.size()));
      return kExitError;
    }
    options.keyed = true;
  }
  return -1;
}

int PrintDigests(Console& console, const ModuleExports& exports, const Algorithm& algorithm,
                 const DigestOptions& options) {
  std::vector<std::string> files = options.files;
  if (files.empty()) files.push_back("-");
  int status = kExitOk;
  const char end = options.zero ? '\0' : '\n';
  ProgressLine progress(console.err(), options.progress);
  AttachedProgress attached(console, progress);
  DigestRunner runner(
      exports, algorithm, options.key, options.jobs,
      [&](DigestTask& task) {
        if (!task.notice.empty()) {
          console.Error(task.notice);
          status = kExitFailure;
          return;
        }
        if (!task.ok) {
          if (!task.error.empty()) console.Error(QuoteName(task.name) + ": " + task.error);
          status = kExitFailure;
          return;
        }
        // The module writes most digests in upper case; the GNU tools write lower.
        std::string digest = task.digest;
        for (char& c : digest) c = options.upper ? ToUpperHex(c) : ToLowerHex(c);
        const bool escape = !options.zero && NameNeedsEscape(task.name);
        const std::string name = escape ? EscapeName(task.name) : task.name;
        std::string line = escape ? "\\" : "";
        if (options.tag || algorithm.bsd_lines) {
          line += std::string(algorithm.tag) + " (" + name + ") = " + digest;
        } else {
          line += digest + (options.binary_marker ? " *" : "  ") + name;
        }
        line += end;
        console.out().Write(line);
      },
      [&] { return console.out().failed(); }, &progress);
  for (const std::string& file : files) {
    if (!options.recursive || file == "-" || !IsFolder(file)) {
      auto task = std::make_unique<DigestTask>();
      task->name = file;
      runner.Add(std::move(task));
      continue;
    }
    FolderWalk walk(file);
    std::string path, error;
    while (walk.Next(path, error) && !console.out().failed()) {
      auto task = std::make_unique<DigestTask>();
      task->name = path;
      if (!error.empty()) task->notice = "cannot read directory " + QuoteAlways(path) + ": " + error;
      runner.Add(std::move(task));
    }
  }
  runner.Finish();
  return console.Finish(status);
}

// Reads lines from a file in blocks. A line longer than any name a system allows
// is not kept but marked too long, so that a list without line ends cannot fill
// the memory.
class LineReader {
 public:
  static constexpr size_t kLongestLine = 1u << 20;

  explicit LineReader(InputFile& file) : file_(file), block_(1u << 16) {}

  // False at the end; `failed` tells a read error from the end.
  bool Next(std::string& line) {
    line.clear();
    too_long_ = false;
    for (;;) {
      if (line.size() > kLongestLine) {
        too_long_ = true;
        line.clear();
      }
      if (pos_ == end_) {
        if (done_) return !line.empty();
        const int64_t got = file_.Read(block_.data(), block_.size());
        if (got <= 0) {
          failed_ = got < 0;
          done_ = true;
          return !line.empty();
        }
        pos_ = 0;
        end_ = static_cast<size_t>(got);
      }
      const char* start = block_.data() + pos_;
      const void* newline = std::memchr(start, '\n', end_ - pos_);
      if (newline != nullptr) {
        const size_t count = static_cast<size_t>(static_cast<const char*>(newline) - start);
        line.append(start, count + 1);
        pos_ += count + 1;
        return true;
      }
      line.append(start, end_ - pos_);
      pos_ = end_;
    }
  }
  bool failed() const { return failed_; }
  bool too_long() const { return too_long_; }

 private:
  InputFile& file_;
  std::vector<char> block_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool done_ = false;
  bool failed_ = false;
  bool too_long_ = false;
};

// A name on a line of check mode's output: escaped, with the line's mark, only
// when a line end in it would split the line, as the GNU tools do.
std::string CheckLineName(const std::string& name) {
  return name.find('\n') != std::string::npos ? "\\" + EscapeName(name) : name;
}

std::string Plural(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Checks one list; true when every file in it matched as the options ask.
bool CheckList(Console& console, const ModuleExports& exports, const Algorithm& algorithm,
               const DigestOptions& options, const std::string& list_name) {
  const bool from_stdin = list_name == "-";
  const bool status_only = options.verbosity == Verbosity::kStatus;
  const std::string shown = from_stdin ? "'standard input'" : QuoteName(list_name);
  InputFile list;
  if (from_stdin) {
    list.OpenStandardInput();
  } else if (!list.Open(list_name)) {
    console.Error(shown + ": " + list.error());
    return false;
  }

  uint64_t misformatted = 0, unreadable = 0, mismatched = 0;
  bool any_wellformed = false, any_matched = false;
  {
    ProgressLine progress(console.err(), options.progress);
    AttachedProgress attached(console, progress);
    DigestRunner runner(
        exports, algorithm, options.key, options.jobs,
        [&](DigestTask& task) {
          if (!task.notice.empty()) {
            console.Error(task.notice);
            return;
          }
          if (!task.ok) {
            if (options.ignore_missing && task.missing) return;
            if (!task.error.empty()) console.Error(QuoteName(task.name) + ": " + task.error);
            ++unreadable;
            if (!status_only) console.out().Write(CheckLineName(task.name) + ": FAILED open or read\n");
            return;
          }
          const bool match = HexEqual(task.digest, task.expected);
          if (match) {
            any_matched = true;
          } else {
            ++mismatched;
          }
          if (status_only || (match && options.verbosity == Verbosity::kQuiet)) return;
          console.out().Write(CheckLineName(task.name) + (match ? ": OK\n" : ": FAILED\n"));
        },
        [&] { return console.out().failed(); }, &progress);

    LineReader reader(list);
    std::string line;
    uint64_t number = 0;
    SeparatorForm form = SeparatorForm::kUnknown;
    while (reader.Next(line)) {
      ++number;
      const bool too_long = reader.too_long();
      if (!too_long && PrepareListLine(line, number == 1) == ListLine::kSkip) continue;
      SumsLine parsed;
      if (too_long || !ParseSumsLine(line, algorithm.tag, algorithm.text_length, form, parsed) ||
          (from_stdin && parsed.name == "-")) {
        ++misformatted;
        if (options.verbosity == Verbosity::kWarn) {
          // In its place among the results of the lines before and after it.
          auto notice = std::make_unique<DigestTask>();
          notice->notice = shown + ": " + std::to_string(number) + ": improperly formatted " + algorithm.tag +
                           " checksum line";
          runner.Add(std::move(notice));
        }
        continue;
      }
      any_wellformed = true;
      auto task = std::make_unique<DigestTask>();
      task->name = parsed.name;
      task->expected = parsed.digest;
      runner.Add(std::move(task));
      if (console.out().failed()) break;
    }
    runner.Finish();
    if (reader.failed()) {
      console.Error(shown + ": " + list.error());
      return false;
    }
  }

  if (!any_wellformed) {
    console.Error(shown + ": no properly formatted checksum lines found");
    return false;
  }
  if (!status_only) {
    if (misformatted > 0) {
      console.Error("WARNING: " + Plural(misformatted, "line is", "lines are") + " improperly formatted");
    }
    if (unreadable > 0) {
      console.Error("WARNING: " + Plural(unreadable, "listed file", "listed files") + " could not be read");
    }
    if (mismatched > 0) {
      console.Error("WARNING: " + Plural(mismatched, "computed checksum", "computed checksums") +
                    " did NOT match");
    }
    if (options.ignore_missing && !any_matched) console.Error(shown + ": no file was verified");
  }
  return mismatched == 0 && unreadable == 0 && (!options.strict || misformatted == 0) &&
         (!options.ignore_missing || any_matched);
}

}  // namespace

void PrintDigestHelp(Console& console, const Algorithm& algorithm) {
  const std::string c = algorithm.command;
  const std::string key = algorithm.keyed ? " KEY-OPTION" : algorithm.key_rule != nullptr ? " [KEY-OPTION]" : "";
  std::string text =
      "usage: telvarn " + c + key + " [OPTION]... [FILE]...\n"
      "       telvarn " + c + key + " -c [OPTION]... [LIST]...\n"
      "Print or check " + algorithm.tag + " digests (" + std::to_string(algorithm.text_length) +
      " hexadecimal digits, computed by " TELVARN_MODULE_NAME ").\n"
      "With no FILE, or when FILE is -, read standard input.\n\n";
  if (algorithm.key_bytes_as_hex != 0) {
    const std::string bytes = std::to_string(algorithm.key_bytes_as_hex);
    text +=
        "With a key, " + algorithm.tag + "'s keyed hash under exactly " + bytes +
        " bytes, NUL too; give at most one:\n"
        "      --key TEXT        the text's UTF-8 bytes (also --key=TEXT)\n"
        "      --key-file FILE   the file's bytes, as they are (- reads standard input)\n"
        "      --key-hex HEX     bytes written as hexadecimal digits\n"
        "      --keyed           the bytes of standard input, as b3sum reads them\n"
        "A key from standard input leaves none of it for the FILEs: - is refused.\n\n";
  } else if (algorithm.key_rule != nullptr) {
    text +=
        "With a key, " + algorithm.tag + "'s own keyed mode (not HMAC), under a key of " +
        algorithm.key_rule->what + " with no NUL byte; give at most one:\n"
        "      --key TEXT        the text's UTF-8 bytes (also --key=TEXT)\n"
        "      --key-file FILE   the file's bytes, as they are (- reads standard input)\n"
        "      --key-hex HEX     bytes written as hexadecimal digits\n\n";
  } else if (algorithm.keyed) {
    text +=
        "The key (at most 4095 bytes, no NUL byte; give exactly one):\n"
        "      --key TEXT        the text's UTF-8 bytes (also --key=TEXT)\n"
        "      --key-file FILE   the file's bytes, as they are (- reads standard input)\n"
        "      --key-hex HEX     bytes written as hexadecimal digits\n\n";
  }
  text +=
      "  -b, --binary          mark lines with '*' before the name (no effect on the digest)\n"
      "  -c, --check           read digests from the LISTs and check them\n"
      "      --tag             write BSD-style lines: " + std::string(algorithm.tag) + " (FILE) = DIGEST\n"
      + std::string(algorithm.bsd_lines ? "                        (the default for " + c + ", as xxhsum writes them)\n" : "") +
      "  -t, --text            mark lines with ' ' before the name (the default)\n"
      "      --upper           write digests in upper-case hexadecimal (default: lower)\n"
      "  -r, --recursive       digest the files under each FILE that is a directory, in\n"
      "                        the byte order of their paths; links to directories\n"
      "                        are not followed (a directory named here is)\n"
      "  -j, --jobs N          digest N files at once (default: the processors this\n"
      "                        process may use, here " + std::to_string(ProcessorCount()) + "; at most " +
      std::to_string(kMostDigestThreads) + "); lines, messages\n"
      "                        and exit status are those of -j 1, in the order given\n"
      "      --progress        show on standard error the bytes done of the inputs in\n"
      "                        flight together, the total where known, and the rate\n"
      "  -z, --zero            end each line with NUL, not newline, and do not escape names\n\n"
      "Only when checking:\n"
      "      --ignore-missing  don't fail or report status for missing files\n"
      "      --quiet           don't print OK for each successfully verified file\n"
      "      --status          don't output anything, the exit code shows success\n"
      "      --strict          exit non-zero for improperly formatted checksum lines\n"
      "  -w, --warn            warn about improperly formatted checksum lines\n\n"
      "  -h, --help            show this help\n"
      "      --version         show the versions of telvarn and of the module\n"
      "      --                end of options: what follows are names\n\n"
      "Lists may hold GNU lines (DIGEST, two spaces or ' *', NAME; a name with a\n"
      "backslash or a line end starts the line with '\\' and is escaped) or BSD lines\n"
      "as --tag writes them, with LF or CR LF line ends and an optional UTF-8 byte-order\n"
      "mark. Digests compare without regard to letter case.\n\n"
      "Exit status: 0 all good; 1 a digest did not match, a file could not be read, or\n"
      "a list held no (or, with --strict, an) improperly formatted line; 2 a usage\n"
      "error, a key the module cannot hold, or a failed write.\n";
  console.out().Write(text);
}

int RunDigestCommand(Console& console, const ModuleExports& exports, const Algorithm& command,
                     const Arguments& args, const PatternArguments& patterns) {
  DigestOptions options;
  const int parsed = ParseOptions(console, command, args, patterns, options);
  if (parsed >= 0) return parsed;
  // A key option given to a command with an own keyed mode runs that mode.
  Algorithm keyed_command = command;
  keyed_command.keyed = command.keyed || options.keyed;
  const Algorithm& algorithm = keyed_command;
  if (!options.check) return PrintDigests(console, exports, algorithm, options);
  std::vector<std::string> lists = options.files;
  if (lists.empty()) lists.push_back("-");
  bool all_good = true;
  for (const std::string& list : lists) {
    if (!CheckList(console, exports, algorithm, options, list)) all_good = false;
    if (console.out().failed()) break;
  }
  return console.Finish(all_good ? kExitOk : kExitFailure);
}

}  // namespace telvarn::cli
