// The option scanner: its rules case by case, and under glibc the decisions and messages of getopt_long.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cli/option_scanner.h"

#if defined(__GLIBC__)
#include <getopt.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace telvarn::cli {
namespace {

using Args = std::vector<std::string>;

// The order of coreutils' digest programs, whose "--t" lists '--tag' before '--text'.
enum DigestId { kCheck, kIgnoreMissing, kQuiet, kStatus, kWarn, kStrict, kTag, kZero, kBinary, kText, kHelp,
                kVersion, kKey, kKeyFile, kKeyHex };
const OptionForm kDigestForms[] = {
    {"check", 'c', OptionArgument::kNone, kCheck},
    {"ignore-missing", '\0', OptionArgument::kNone, kIgnoreMissing},
    {"quiet", '\0', OptionArgument::kNone, kQuiet},
    {"status", '\0', OptionArgument::kNone, kStatus},
    {"warn", 'w', OptionArgument::kNone, kWarn},
    {"strict", '\0', OptionArgument::kNone, kStrict},
    {"tag", '\0', OptionArgument::kNone, kTag},
    {"zero", 'z', OptionArgument::kNone, kZero},
    {"binary", 'b', OptionArgument::kNone, kBinary},
    {"text", 't', OptionArgument::kNone, kText},
    {"help", '\0', OptionArgument::kNone, kHelp},
    {"version", '\0', OptionArgument::kNone, kVersion},
    {"key", '\0', OptionArgument::kRequired, kKey},
    {"key-file", '\0', OptionArgument::kRequired, kKeyFile},
    {"key-hex", '\0', OptionArgument::kRequired, kKeyHex},
};

enum Base64Id { kDecode, kIgnoreGarbage, kWrap, kBase64Help, kBase64Version };
const OptionForm kBase64Forms[] = {
    {"decode", 'd', OptionArgument::kNone, kDecode},
    {"ignore-garbage", 'i', OptionArgument::kNone, kIgnoreGarbage},
    {"wrap", 'w', OptionArgument::kRequired, kWrap},
    {"help", '\0', OptionArgument::kNone, kBase64Help},
    {"version", '\0', OptionArgument::kNone, kBase64Version},
};

// Names that are prefixes of one another, aliases, and short-only options.
enum PrefixId { kTextual, kTagged, kState, kStateX, kVerbose, kVersioned, kColor, kSize, kList, kListing,
                kShortOnly, kShortValue };
const OptionForm kPrefixForms[] = {
    {"text", '\0', OptionArgument::kNone, kTextual},
    {"tag", '\0', OptionArgument::kNone, kTagged},
    {"status", '\0', OptionArgument::kNone, kState},
    {"status-x", '\0', OptionArgument::kNone, kStateX},
    {"verbose", '\0', OptionArgument::kNone, kVerbose},
    {"version", '\0', OptionArgument::kNone, kVersioned},
    {"verbosity", '\0', OptionArgument::kNone, kVerbose},  // an alias after another option
    {"color", '\0', OptionArgument::kNone, kColor},
    {"colour", '\0', OptionArgument::kNone, kColor},
    {"size", '\0', OptionArgument::kRequired, kSize},
    {"sizes", '\0', OptionArgument::kNone, kSize},  // the same id with another kind of argument
    {"list", '\0', OptionArgument::kNone, kList},
    {"listing", '\0', OptionArgument::kNone, kListing},
    {"listing-all", '\0', OptionArgument::kNone, kListing},
    {nullptr, 'x', OptionArgument::kNone, kShortOnly},
    {nullptr, 'v', OptionArgument::kRequired, kShortValue},
};

struct FormSet {
  const char* name;
  const OptionForm* forms;
  size_t count;
};

const FormSet kDigest{"digest", kDigestForms, std::size(kDigestForms)};
const FormSet kBase64{"base64", kBase64Forms, std::size(kBase64Forms)};
const FormSet kPrefix{"prefix", kPrefixForms, std::size(kPrefixForms)};
const FormSet kAllSets[] = {kDigest, kBase64, kPrefix};

// What a scan gave, in a form that both scanners' results take and tests compare.
struct Outcome {
  bool ok = false;
  std::vector<std::string> options;  // "name" or "name=value", the name the first form of the id has
  std::vector<std::string> operands;
  std::string error;
};

// A value is shown when the id's first form takes one, or when it has one that it should not.
std::string ShowOption(const FormSet& set, int id, const std::string& value) {
  for (size_t i = 0; i < set.count; ++i) {
    const OptionForm& form = set.forms[i];
    if (form.id != id) continue;
    std::string shown = form.long_name != nullptr ? form.long_name : std::string(1, form.short_name);
    if (form.argument == OptionArgument::kRequired || !value.empty()) shown += "=" + value;
    return shown;
  }
  return "unknown id " + std::to_string(id);
}

Outcome ScanWithScanner(const FormSet& set, const Args& args) {
  ScannedArguments scanned;
  // Left over from an earlier scan, to show that a scan starts afresh.
  scanned.options.push_back({kWrap, "stale"});
  scanned.operands.push_back("stale");
  Outcome outcome;
  outcome.error = "stale";
  outcome.ok = ScanOptions(args, set.forms, set.count, scanned, outcome.error);
  for (const ScannedOption& option : scanned.options) {
    outcome.options.push_back(ShowOption(set, option.id, option.value));
  }
  outcome.operands = scanned.operands;
  return outcome;
}

struct Case {
  Args args;
  std::vector<std::string> options;
  std::vector<std::string> operands;
  std::string error;  // empty when the scan succeeds
};

void ExpectCases(const FormSet& set, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const Outcome outcome = ScanWithScanner(set, c.args);
    std::string shown_args;
    for (const std::string& arg : c.args) shown_args += "[" + arg + "] ";
    SCOPED_TRACE(std::string(set.name) + ": " + shown_args);
    EXPECT_EQ(outcome.ok, c.error.empty());
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.options, c.options);
    EXPECT_EQ(outcome.operands, c.operands);
  }
}

// On an error, the options and operands before it.
const std::vector<Case> kDigestCases = {
    // Operands and options mixed; "--" ends the options; "-" and "" are operands.
    {{}, {}, {}, ""},
    {{"a", "-c", "b", "--tag", "c"}, {"check", "tag"}, {"a", "b", "c"}, ""},
    {{"--", "-c", "--tag"}, {}, {"-c", "--tag"}, ""},
    {{"-c", "--", "--", "x"}, {"check"}, {"--", "x"}, ""},
    {{"a", "--", "-z", "b"}, {}, {"a", "-z", "b"}, ""},
    {{"-", "", "-c", "-"}, {"check"}, {"-", "", "-"}, ""},
    {{"--status", "--quiet", "--warn"}, {"status", "quiet", "warn"}, {}, ""},
    // Short options bundled.
    {{"-cwz", "-b", "-t"}, {"check", "warn", "zero", "binary", "text"}, {}, ""},
    {{"-cc"}, {"check", "check"}, {}, ""},
    // Unique prefixes, and ambiguous ones as typed, "=value" included.
    {{"--stat"}, {"status"}, {}, ""},
    {{"--ig", "--ch", "--b"}, {"ignore-missing", "check", "binary"}, {}, ""},
    {{"--st"}, {}, {}, "option '--st' is ambiguous; possibilities: '--status' '--strict'"},
    {{"--st=1"}, {}, {}, "option '--st=1' is ambiguous; possibilities: '--status' '--strict'"},
    {{"--t"}, {}, {}, "option '--t' is ambiguous; possibilities: '--tag' '--text'"},
    {{"--k", "v"}, {}, {}, "option '--k' is ambiguous; possibilities: '--key' '--key-file' '--key-hex'"},
    {{"--=x"}, {}, {},
     "option '--=x' is ambiguous; possibilities: '--check' '--ignore-missing' '--quiet' '--status' '--warn' "
     "'--strict' '--tag' '--zero' '--binary' '--text' '--help' '--version' '--key' '--key-file' '--key-hex'"},
    // Unrecognized long options, as typed; a value for an option without one, by its full name.
    {{"--xyz=1"}, {}, {}, "unrecognized option '--xyz=1'"},
    {{"-c", "a", "--checks"}, {"check"}, {"a"}, "unrecognized option '--checks'"},
    {{"---c"}, {}, {}, "unrecognized option '---c'"},
    {{"--sta=1"}, {}, {}, "option '--status' doesn't allow an argument"},
    {{"--help="}, {}, {}, "option '--help' doesn't allow an argument"},
    // Required arguments: after '=' (even empty or holding '='), or the next argument whatever it is.
    {{"--key", "-k", "a"}, {"key=-k"}, {"a"}, ""},
    {{"--key", "--", "a"}, {"key=--"}, {"a"}, ""},
    {{"--key="}, {"key="}, {}, ""},
    {{"--key=a=b"}, {"key=a=b"}, {}, ""},
    {{"--key-f", "f", "--key-h=00"}, {"key-file=f", "key-hex=00"}, {}, ""},
    {{"--key"}, {}, {}, "option '--key' requires an argument"},
    {{"a", "--key-hex"}, {}, {"a"}, "option '--key-hex' requires an argument"},
    // Invalid short options, a multibyte character's first byte as it is.
    {{"-x"}, {}, {}, "invalid option -- 'x'"},
    {{"-cx", "-z"}, {"check"}, {}, "invalid option -- 'x'"},
    {{"-\xC3\xA9"}, {}, {}, "invalid option -- '\xC3'"},
    {{"-c\xE2\x82\xAC"}, {"check"}, {}, "invalid option -- '\xE2'"},
    {{"-:"}, {}, {}, "invalid option -- ':'"},
    {{"--check", "-5"}, {"check"}, {}, "invalid option -- '5'"},
};

const std::vector<Case> kBase64Cases = {
    {{"-w", "0"}, {"wrap=0"}, {}, ""},
    {{"-w0"}, {"wrap=0"}, {}, ""},
    {{"-dw0"}, {"decode", "wrap=0"}, {}, ""},
    {{"-w0d"}, {"wrap=0d"}, {}, ""},
    {{"-dw", "-5", "-i"}, {"decode", "wrap=-5", "ignore-garbage"}, {}, ""},
    {{"-w", "--", "-d"}, {"wrap=--", "decode"}, {}, ""},
    {{"-w", ""}, {"wrap="}, {}, ""},
    {{"-d", "file", "-w", "5", "-"}, {"decode", "wrap=5"}, {"file", "-"}, ""},
    {{"--wr=5"}, {"wrap=5"}, {}, ""},
    {{"--wrap", "-5"}, {"wrap=-5"}, {}, ""},
    {{"--wrap=", "x"}, {"wrap="}, {"x"}, ""},
    {{"--w", "7", "--de", "--i"}, {"wrap=7", "decode", "ignore-garbage"}, {}, ""},
    {{"-w"}, {}, {}, "option requires an argument -- 'w'"},
    {{"-dw"}, {"decode"}, {}, "option requires an argument -- 'w'"},
    {{"--wrap"}, {}, {}, "option '--wrap' requires an argument"},
    {{"--w"}, {}, {}, "option '--wrap' requires an argument"},
    {{"--decode=1"}, {}, {}, "option '--decode' doesn't allow an argument"},
    {{"--d=1"}, {}, {}, "option '--decode' doesn't allow an argument"},
    {{"-dq"}, {"decode"}, {}, "invalid option -- 'q'"},
    {{"--=7"}, {}, {},
     "option '--=7' is ambiguous; possibilities: '--decode' '--ignore-garbage' '--wrap' '--help' "
     "'--version'"},
    {{"--wrapping=2"}, {}, {}, "unrecognized option '--wrapping=2'"},
};

const std::vector<Case> kPrefixCases = {
    // A prefix of two names, and of one of them.
    {{"--t"}, {}, {}, "option '--t' is ambiguous; possibilities: '--text' '--tag'"},
    {{"--te", "--ta", "--text", "--tag"}, {"text", "tag", "text", "tag"}, {}, ""},
    // An exact name wins over the longer names it is a prefix of.
    {{"--status", "--status-", "--status-x"}, {"status", "status-x", "status-x"}, {}, ""},
    {{"--statu"}, {}, {}, "option '--statu' is ambiguous; possibilities: '--status' '--status-x'"},
    {{"--status=1"}, {}, {}, "option '--status' doesn't allow an argument"},
    {{"--list", "--listi", "--listing-"}, {"list", "listing", "listing"}, {}, ""},
    // Prefixes of aliases only: no ambiguity.
    {{"--col", "--colo", "--colou"}, {"color", "color", "color"}, {}, ""},
    {{"--verbos", "--verbosi"}, {"verbose", "verbose"}, {}, ""},
    // The first match's later aliases are left out of the list; another option's are not.
    {{"--ver"}, {}, {}, "option '--ver' is ambiguous; possibilities: '--verbose' '--version'"},
    {{"--li"}, {}, {}, "option '--li' is ambiguous; possibilities: '--list' '--listing' '--listing-all'"},
    // The same id with another kind of argument is ambiguous.
    {{"--siz", "1"}, {}, {}, "option '--siz' is ambiguous; possibilities: '--size' '--sizes'"},
    {{"--size", "3", "--sizes"}, {"size=3", "size="}, {}, ""},
    {{"--sizes=3"}, {}, {}, "option '--sizes' doesn't allow an argument"},
    // Short-only options: no long name matches them.
    {{"-xv", "1", "-vx"}, {"x", "v=1", "v=x"}, {}, ""},
    {{"-xv"}, {"x"}, {}, "option requires an argument -- 'v'"},
    {{"--x"}, {}, {}, "unrecognized option '--x'"},
    {{"-t"}, {}, {}, "invalid option -- 't'"},
};

TEST(OptionScanner, DigestLikeCommand) { ExpectCases(kDigest, kDigestCases); }
TEST(OptionScanner, Base64LikeCommand) { ExpectCases(kBase64, kBase64Cases); }
TEST(OptionScanner, PrefixesAndAliases) { ExpectCases(kPrefix, kPrefixCases); }

TEST(OptionScanner, ArrayOverloadScansTheWholeTable) {
  ScannedArguments scanned;
  std::string error;
  ASSERT_TRUE(ScanOptions({"--key-hex", "ab", "-z"}, kDigestForms, scanned, error)) << error;
  ASSERT_EQ(scanned.options.size(), 2u);
  EXPECT_EQ(scanned.options[0].id, kKeyHex);
  EXPECT_EQ(scanned.options[0].value, "ab");
  EXPECT_EQ(scanned.options[1].id, kZero);
}

TEST(OptionScanner, CountsTheOperandsBeforeTheEndOfOptions) {
  ScannedArguments scanned;
  std::string error;
  ASSERT_TRUE(ScanOptions({"a", "-z", "b", "--", "-c", "d"}, kDigestForms, scanned, error)) << error;
  EXPECT_EQ(scanned.operands, (std::vector<std::string>{"a", "b", "-c", "d"}));
  EXPECT_EQ(scanned.operands_before_separator, 2u);
  ASSERT_TRUE(ScanOptions({"--", "a"}, kDigestForms, scanned, error)) << error;
  EXPECT_EQ(scanned.operands_before_separator, 0u);
  ASSERT_TRUE(ScanOptions({"a", "-", ""}, kDigestForms, scanned, error)) << error;
  EXPECT_EQ(scanned.operands_before_separator, 3u);
}

#if defined(__GLIBC__)

constexpr int kLongOptionBase = 1000;

// glibc's getopt_long on "prog" + args, its messages captured from stderr, stopping
// at its first error as a command does.
Outcome ScanWithGlibc(const FormSet& set, const Args& args) {
  std::string short_options;
  std::vector<option> long_options;
  for (size_t i = 0; i < set.count; ++i) {
    const OptionForm& form = set.forms[i];
    const bool required = form.argument == OptionArgument::kRequired;
    if (form.short_name != '\0') short_options += std::string(1, form.short_name) + (required ? ":" : "");
    if (form.long_name != nullptr) {
      long_options.push_back({form.long_name, required ? required_argument : no_argument, nullptr,
                              kLongOptionBase + form.id});
    }
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> storage = {"prog"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  std::fflush(stderr);
  std::FILE* capture = std::tmpfile();
  if (capture == nullptr) return {false, {}, {}, "no temporary file"};
  const int saved_stderr = dup(STDERR_FILENO);
  if (saved_stderr < 0 || dup2(fileno(capture), STDERR_FILENO) < 0) {
    std::fclose(capture);
    return {false, {}, {}, "stderr not redirected"};
  }

  Outcome outcome;
  outcome.ok = true;
  optind = 0;  // 0, not 1: glibc then forgets the state of the previous scan
  opterr = 1;
  for (;;) {
    const int result = getopt_long(argc, argv.data(), short_options.c_str(), long_options.data(), nullptr);
    if (result == -1) break;
    if (result == '?' || result == ':') {
      outcome.ok = false;
      break;
    }
    if (result >= kLongOptionBase) {
      outcome.options.push_back(ShowOption(set, result - kLongOptionBase, optarg != nullptr ? optarg : ""));
      continue;
    }
    for (size_t i = 0; i < set.count; ++i) {
      if (set.forms[i].short_name == static_cast<char>(result)) {
        outcome.options.push_back(ShowOption(set, set.forms[i].id, optarg != nullptr ? optarg : ""));
        break;
      }
    }
  }
  if (outcome.ok) outcome.operands.assign(argv.begin() + optind, argv.begin() + argc);

  std::fflush(stderr);
  dup2(saved_stderr, STDERR_FILENO);
  close(saved_stderr);
  std::string printed;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) printed += static_cast<char>(c);
  std::fclose(capture);

  const std::string program_prefix = "prog: ";
  if (printed.compare(0, program_prefix.size(), program_prefix) == 0 && printed.back() == '\n') {
    printed = printed.substr(program_prefix.size(), printed.size() - program_prefix.size() - 1);
  }
  outcome.error = printed;
  return outcome;
}

// Outside the permuting mode (POSIXLY_CORRECT), glibc stops at the first operand.
class OptionScannerVsGlibc : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("POSIXLY_CORRECT"); }
};

void ExpectSameAsGlibc(const FormSet& set, const Args& args) {
  std::string shown_args;
  for (const std::string& arg : args) shown_args += "[" + arg + "] ";
  SCOPED_TRACE(std::string(set.name) + ": " + shown_args);
  const Outcome ours = ScanWithScanner(set, args);
  const Outcome glibc = ScanWithGlibc(set, args);
  EXPECT_EQ(ours.ok, glibc.ok);
  EXPECT_EQ(ours.error, glibc.error);
  EXPECT_EQ(ours.options, glibc.options);
  // glibc has not yet moved the operands before an error behind the options.
  if (glibc.ok) {
    EXPECT_EQ(ours.operands, glibc.operands);
  }
}

TEST_F(OptionScannerVsGlibc, AgreesOnEveryHandWrittenCase) {
  const std::pair<const FormSet*, const std::vector<Case>*> tables[] = {
      {&kDigest, &kDigestCases}, {&kBase64, &kBase64Cases}, {&kPrefix, &kPrefixCases}};
  for (const auto& table : tables) {
    for (const Case& c : *table.second) ExpectSameAsGlibc(*table.first, c.args);
  }
}

// Fragments of arguments for a set: each long name whole, with a value, and cut to
// every prefix; short options alone and in bundles; operands and odd dashes.
std::vector<std::string> Fragments(const FormSet& set) {
  std::vector<std::string> fragments = {"a", "b c", "-", "", "--", "---", "--=", "--=x", "-5", "-\xC3\xA9",
                                        "-:", "-?", "--\xC3\xA9", "0", "=", "--unknown"};
  for (size_t i = 0; i < set.count; ++i) {
    const OptionForm& form = set.forms[i];
    if (form.short_name != '\0') {
      fragments.push_back(std::string("-") + form.short_name);
      fragments.push_back(std::string("-") + form.short_name + "1");
    }
    if (form.long_name == nullptr) continue;
    const std::string name = form.long_name;
    fragments.push_back("--" + name + "=v");
    fragments.push_back("--" + name + "=");
    for (size_t length = 1; length <= name.size(); ++length) {
      fragments.push_back("--" + name.substr(0, length));
    }
  }
  return fragments;
}

std::string ShortBundle(const FormSet& set, std::mt19937& rng) {
  std::string letters = "q0";
  for (size_t i = 0; i < set.count; ++i) {
    if (set.forms[i].short_name != '\0') letters += set.forms[i].short_name;
  }
  std::string bundle = "-";
  const size_t length = 2 + rng() % 4;
  for (size_t i = 0; i < length; ++i) bundle += letters[rng() % letters.size()];
  return bundle;
}

TEST_F(OptionScannerVsGlibc, AgreesOnGeneratedArguments) {
  std::mt19937 rng(20240611);
  for (const FormSet& set : kAllSets) {
    const std::vector<std::string> fragments = Fragments(set);
    for (int round = 0; round < 400; ++round) {
      Args args;
      const size_t count = rng() % 7;
      for (size_t i = 0; i < count; ++i) {
        args.push_back(rng() % 5 == 0 ? ShortBundle(set, rng) : fragments[rng() % fragments.size()]);
      }
      ExpectSameAsGlibc(set, args);
    }
  }
}

#else

TEST(OptionScannerVsGlibc, AgreesOnEveryHandWrittenCase) {
  GTEST_SKIP() << "glibc's getopt_long is not in this C library";
}
TEST(OptionScannerVsGlibc, AgreesOnGeneratedArguments) {
  GTEST_SKIP() << "glibc's getopt_long is not in this C library";
}

#endif

}  // namespace
}  // namespace telvarn::cli
