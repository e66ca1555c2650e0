// The option scanner of every telvarn command, reproducing glibc 2.36's getopt_long decisions and messages.
#include "cli/option_scanner.h"

#include <cstring>
#include <utility>

namespace telvarn::cli {
namespace {

struct FormTable {
  const OptionForm* forms;
  size_t count;
};

// The first form with this short name, as glibc's strchr in the option string finds it.
const OptionForm* FindShortOption(const FormTable& table, char short_name) {
  for (size_t i = 0; i < table.count; ++i) {
    if (table.forms[i].short_name != '\0' && table.forms[i].short_name == short_name) return &table.forms[i];
  }
  return nullptr;
}

bool StartsWith(const char* text, const std::string& prefix) {
  return std::strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

// A "--" argument other than "--" itself, at args[index - 1]; a required argument
// not given after '=' is taken from args[index].
bool ScanLongOption(const std::vector<std::string>& args, size_t& index, const FormTable& table,
                    ScannedArguments& scanned, std::string& error) {
  const std::string typed = args[index - 1].substr(2);
  const size_t equals = typed.find('=');
  const std::string name = typed.substr(0, equals);

  const OptionForm* found = nullptr;
  for (size_t i = 0; i < table.count && found == nullptr; ++i) {
    const char* long_name = table.forms[i].long_name;
    if (long_name != nullptr && name == long_name) found = &table.forms[i];
  }
  if (found == nullptr) {
    // glibc lists the first prefix match and every later one that is not the same
    // option as that first one: a later alias of the first is left out, while two
    // aliases of another option are both listed. "--=x" has the empty prefix of all.
    std::vector<const OptionForm*> candidates;
    for (size_t i = 0; i < table.count; ++i) {
      const OptionForm& form = table.forms[i];
      if (form.long_name == nullptr || !StartsWith(form.long_name, name)) continue;
      if (candidates.empty() || form.id != candidates[0]->id || form.argument != candidates[0]->argument) {
        candidates.push_back(&form);
      }
    }
    if (candidates.empty()) {
      error = "unrecognized option '--" + typed + "'";
      return false;
    }
    if (candidates.size() > 1) {
      error = "option '--" + typed + "' is ambiguous; possibilities:";
      for (const OptionForm* candidate : candidates) {
        error += std::string(" '--") + candidate->long_name + "'";
      }
      return false;
    }
    found = candidates[0];
  }

  ScannedOption option{found->id, {}};
  if (equals != std::string::npos) {
    if (found->argument == OptionArgument::kNone) {
      error = std::string("option '--") + found->long_name + "' doesn't allow an argument";
      return false;
    }
    option.value = typed.substr(equals + 1);
  } else if (found->argument == OptionArgument::kRequired) {
    // The next argument is the value whatever it looks like, "--" and "-x" included.
    if (index == args.size()) {
      error = std::string("option '--") + found->long_name + "' requires an argument";
      return false;
    }
    option.value = args[index++];
  }
  scanned.options.push_back(std::move(option));
  return true;
}

// A bundle of short options, "-abc", at args[index - 1]. The first that takes an
// argument takes the rest of the bundle, or args[index] when it ends the bundle.
bool ScanShortOptions(const std::vector<std::string>& args, size_t& index, const FormTable& table,
                      ScannedArguments& scanned, std::string& error) {
  const std::string& bundle = args[index - 1];
  for (size_t k = 1; k < bundle.size(); ++k) {
    const char short_name = bundle[k];
    const OptionForm* form = FindShortOption(table, short_name);
    if (form == nullptr) {
      // glibc prints the byte itself, even one of a multibyte character.
      error = std::string("invalid option -- '") + short_name + "'";
      return false;
    }
    if (form->argument == OptionArgument::kNone) {
      scanned.options.push_back({form->id, {}});
      continue;
    }
    if (k + 1 < bundle.size()) {
      scanned.options.push_back({form->id, bundle.substr(k + 1)});
    } else if (index < args.size()) {
      scanned.options.push_back({form->id, args[index++]});
    } else {
      error = std::string("option requires an argument -- '") + short_name + "'";
      return false;
    }
    return true;
  }
  return true;
}

}  // namespace

bool ScanOptions(const std::vector<std::string>& args, const OptionForm* forms, size_t form_count,
                 ScannedArguments& scanned, std::string& error) {
  scanned = ScannedArguments{};
  error.clear();
  const FormTable table{forms, form_count};
  size_t index = 0;
  bool separated = false;
  while (index < args.size()) {
    const std::string& arg = args[index++];
    if (arg == "--") {
      scanned.operands_before_separator = scanned.operands.size();
      separated = true;
      scanned.operands.insert(scanned.operands.end(), args.begin() + static_cast<std::ptrdiff_t>(index),
                              args.end());
      for (; index < args.size(); ++index) scanned.operand_places.push_back(index);
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      scanned.operands.push_back(arg);
      scanned.operand_places.push_back(index - 1);
      continue;
    }
    const bool scanned_well = arg[1] == '-' ? ScanLongOption(args, index, table, scanned, error)
                                            : ScanShortOptions(args, index, table, scanned, error);
    if (!scanned_well) return false;
  }
  if (!separated) scanned.operands_before_separator = scanned.operands.size();
  return true;
}

void ExpandOperandPatterns(ScannedArguments& scanned, const std::vector<bool>& patterns,
                           const PatternMatcher& match) {
  std::vector<std::string> operands;
  std::vector<size_t> places;
  size_t before_separator = 0;
  for (size_t i = 0; i < scanned.operands.size(); ++i) {
    const size_t place = scanned.operand_places[i];
    std::vector<std::string> names;
    if (place < patterns.size() && patterns[place]) names = match(scanned.operands[i]);
    if (names.empty()) names.push_back(std::move(scanned.operands[i]));
    if (i < scanned.operands_before_separator) before_separator += names.size();
    for (std::string& name : names) {
      operands.push_back(std::move(name));
      places.push_back(place);
    }
  }
  scanned.operands = std::move(operands);
  scanned.operand_places = std::move(places);
  scanned.operands_before_separator = before_separator;
}

}  // namespace telvarn::cli
