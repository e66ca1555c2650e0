// Text helpers of telvarn: conversions, escaping and quoting of names, hexadecimal digits.
#include "cli/text.h"

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

std::string QuoteName(const std::string& name) {
  bool plain = !name.empty();
  for (unsigned char c : name) {
    const bool ordinary = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c >= 0x80 || std::string("._-+/,:@%=^~").find(static_cast<char>(c)) != std::string::npos;
    if (!ordinary) plain = false;
  }
  if (plain) return name;
  std::string quoted = "'";
  for (char c : name) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
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

}  // namespace telvarn::cli
