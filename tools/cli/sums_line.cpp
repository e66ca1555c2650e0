// Checksum list lines: the GNU form, the BSD form, escapes, and the separator memory.
#include "cli/sums_line.h"

#include "cli/text.h"

namespace telvarn::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool AllHex(std::string_view text) {
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

// The name as the file's: unescaped when the line began with a backslash, cut at a
// NUL byte otherwise.
bool TakeName(std::string_view written, bool escaped, std::string& name) {
  if (escaped) return UnescapeName(std::string(written), name);
  name.assign(written.substr(0, written.find('\0')));
  return true;
}

// "(NAME) = DIGEST" after the tag: the name runs to the last ')'.
bool ParseBsdRest(std::string_view rest, bool escaped, size_t digest_length, SumsLine& parsed) {
  const size_t close = rest.rfind(')');
  if (close == std::string_view::npos) return false;
  if (!TakeName(rest.substr(0, close), escaped, parsed.name)) return false;
  size_t i = close + 1;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  if (i == rest.size() || rest[i] != '=') return false;
  ++i;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  const std::string_view digest = rest.substr(i);
  if (digest.size() != digest_length || !AllHex(digest)) return false;
  parsed.digest.assign(digest);
  return true;
}

}  // namespace

ListLine PrepareListLine(std::string& line, bool first_line) {
  if (first_line && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  if (!line.empty() && line[0] == '#') return ListLine::kSkip;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.empty() ? ListLine::kSkip : ListLine::kParse;
}

bool ParseSumsLine(std::string_view line, std::string_view tag, size_t digest_length, SeparatorForm& form,
                   SumsLine& parsed) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  const bool escaped = i < line.size() && line[i] == '\\';
  if (escaped) ++i;

  if (line.substr(i, tag.size()) == tag) {
    i += tag.size();
    if (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size() || line[i] != '(') return false;
    // An empty name is well-formed, and fails to open, as with the GNU tools.
    return ParseBsdRest(line.substr(i + 1), escaped, digest_length, parsed);
  }

  // The digest, one blank, and a name of at least one byte.
  if (line.size() - i < digest_length + 2) return false;
  const std::string_view digest = line.substr(i, digest_length);
  i += digest_length;
  if (!IsBlank(line[i]) || !AllHex(digest)) return false;
  ++i;
  // Only a well-formed digest gets to say which separator the list uses.
  SeparatorForm seen = form;
  if (line.size() - i == 1 || (line[i] != ' ' && line[i] != '*')) {
    if (form == SeparatorForm::kTwoCharacters) return false;
    seen = SeparatorForm::kOneBlank;
  } else if (form != SeparatorForm::kOneBlank) {
    seen = SeparatorForm::kTwoCharacters;
    ++i;
  }
  if (!TakeName(line.substr(i), escaped, parsed.name)) return false;
  parsed.digest.assign(digest);
  form = seen;
  return true;
}

}  // namespace telvarn::cli
