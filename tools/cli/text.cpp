// Text helpers of telvarn: conversions, escaping and quoting of names, hexadecimal digits.
#include "cli/text.h"

#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace telvarn::cli {

#if defined(_WIN32)
std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr,
                        nullptr);
  }
  return utf8;
}
#endif

bool NameNeedsEscape(const std::string& name) {
  return name.find_first_of("\\\n\r") != std::string::npos;
}

std::string EscapeName(const std::string& name) {
  std::string escaped;
  escaped.reserve(name.size() + 2);
  for (char c : name) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

bool UnescapeName(const std::string& escaped, std::string& name) {
  name.clear();
  for (size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    if (c == '\0') return false;
    if (c != '\\') {
      name += c;
      continue;
    }
    if (++i == escaped.size()) return false;
    switch (escaped[i]) {
      case 'n':
        name += '\n';
        break;
      case 'r':
        name += '\r';
        break;
      case '\\':
        name += '\\';
        break;
      default:
        return false;
    }
  }
  return true;
}

namespace {

// The length of the UTF-8 sequence of a printable character at `at`, or 0 for a
// byte that does not start one (a stray or cut sequence, an overlong form, a
// surrogate, a character that prints nothing): such bytes are written as escapes.
size_t PrintableUtf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3Fu);
  }
  const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  // C1 controls, the line and paragraph separators and the noncharacters are not
  // printable: a terminal would act on them or show nothing.
  if (code < 0xA0 || code == 0x2028 || code == 0x2029 || (code >= 0xFDD0 && code <= 0xFDEF) ||
      (code & 0xFFFE) == 0xFFFE) {
    return 0;
  }
  return length;
}

// Characters that a shell takes as its own: a name holding one is quoted.
bool IsShellSpecial(char c, bool first) {
  if (c == '#' || c == '~') return first;
  return std::string_view(" !\"$&'()*;<=>?[\\^`|").find(c) != std::string_view::npos;
}

void AppendEscape(unsigned char c, std::string& out) {
  switch (c) {
    case '\a': out += "\\a"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\v': out += "\\v"; return;
    default: break;
  }
  const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                        static_cast<char>('0' + (c & 7))};
  out.append(octal, sizeof octal);
}

}  // namespace

std::string QuoteName(const std::string& name) {
  // Which bytes are printable as they are: ASCII from space to '~', and whole
  // printable UTF-8 characters.
  std::vector<bool> escaped(name.size(), false);
  bool any_escape = false, any_special = name.empty(), any_quote = false, double_quotable = true;
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      const size_t length = PrintableUtf8Length(name, i);
      if (length > 0) {
        i += length;
        continue;
      }
    }
    if (c < 0x20 || c >= 0x7F) {
      escaped[i] = any_escape = true;
    } else if (IsShellSpecial(static_cast<char>(c), i == 0)) {
      any_special = true;
      if (c == '\'') any_quote = true;
      if (c == '$' || c == '`' || c == '\\' || c == '"' || c == '!') double_quotable = false;
    }
    ++i;
  }
  if (!any_escape && !any_special) return name;
  // A single quote reads best inside double quotes when nothing else needs them.
  if (!any_escape && any_quote && double_quotable) return "\"" + name + "\"";
  std::string quoted = "'";
  bool in_dollar = false;  // inside $'...', where escapes are read
  for (size_t i = 0; i < name.size(); ++i) {
    if (escaped[i]) {
      if (!in_dollar) quoted += "'$'";
      in_dollar = true;
      AppendEscape(static_cast<unsigned char>(name[i]), quoted);
      continue;
    }
    if (in_dollar) quoted += "''";
    in_dollar = false;
    if (name[i] == '\'') {
      quoted += "'\\''";
    } else {
      quoted += name[i];
    }
  }
  return quoted + "'";
}

bool IsHexDigit(char c) { return HexValue(c) >= 0; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HexEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (HexValue(a[i]) != HexValue(b[i]) || HexValue(a[i]) < 0) return false;
  }
  return true;
}

std::string QuoteAlways(const std::string& text) {
  const std::string quoted = QuoteName(text);
  const bool bare = quoted.empty() || (quoted[0] != '\'' && quoted[0] != '"');
  return bare ? "'" + quoted + "'" : quoted;
}

}  // namespace telvarn::cli
