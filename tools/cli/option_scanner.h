// The option scanner of every telvarn command: GNU getopt_long's rules in its default, permuting mode.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace telvarn::cli {

enum class OptionArgument { kNone, kRequired };

// One way of writing an option. Forms that share an id are aliases: a prefix that
// matches only aliases of one kind of argument is not ambiguous.
struct OptionForm {
  const char* long_name;  // without the dashes; nullptr for a short-only option
  char short_name;        // an ASCII letter or digit; '\0' for a long-only option
  OptionArgument argument;
  int id;                 // what the command switches on
};

struct ScannedOption {
  int id;
  std::string value;  // only for OptionArgument::kRequired
};

struct ScannedArguments {
  std::vector<ScannedOption> options;  // in the order given: a later one may undo an earlier one
  std::vector<std::string> operands;   // in order; "-", "" and everything after "--" among them
  std::vector<size_t> operand_places;  // each operand's index in the arguments scanned
  // How many operands came before "--" (all of them when there was none): the
  // ones after it are names whatever they spell.
  size_t operands_before_separator = 0;
};

// Scans `args` (without the program name and the command word). False at the first
// error, with `error` set to glibc's message without the "program: " in front and
// without the line suggesting --help; `scanned` then holds what came before it.
// The message shows the argument's bytes as they are: quoting them is the caller's.
bool ScanOptions(const std::vector<std::string>& args, const OptionForm* forms, size_t form_count,
                 ScannedArguments& scanned, std::string& error);

// Replaces each operand whose argument `patterns` marks (by its index in the arguments
// scanned) with the names `match` finds for it, in the order found; an operand that
// matches nothing stays as given. The count of operands before "--" follows.
using PatternMatcher = std::function<std::vector<std::string>(const std::string& pattern)>;
void ExpandOperandPatterns(ScannedArguments& scanned, const std::vector<bool>& patterns,
                           const PatternMatcher& match);

template <size_t N>
bool ScanOptions(const std::vector<std::string>& args, const OptionForm (&forms)[N],
                 ScannedArguments& scanned, std::string& error) {
  return ScanOptions(args, forms, N, scanned, error);
}

}  // namespace telvarn::cli
