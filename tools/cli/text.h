// Text helpers of telvarn: UTF-8 and UTF-16, file names as checksum lines write them,
// names quoted in messages, and hexadecimal digits.
#pragma once

#include <cstdint>
#include <string>

namespace telvarn::cli {

#if defined(_WIN32)
// Invalid sequences become U+FFFD, as the system's own conversions make them.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
#endif

// Whether a name has to be written escaped on a checksum line (a backslash, CR or LF
// in it), and the escaped form: \\ for a backslash, \n and \r for the line ends.
bool NameNeedsEscape(const std::string& name);
std::string EscapeName(const std::string& name);
// The reverse, for names read from a list; false for a backslash before anything but
// n, r or another backslash, a backslash at the end, or a NUL.
bool UnescapeName(const std::string& escaped, std::string& name);

// A name as messages show it, quoted as the GNU tools quote names for a shell:
// unchanged when plain, in single quotes when a shell would take a character of
// it, in double quotes when a single quote is the only such character, with
// control characters and bytes that are not printable UTF-8 as $'\n' or $'\377'
// escapes, so that no name splits a message or reaches a terminal raw.
std::string QuoteName(const std::string& name);
// The same, in single quotes even when plain, as GNU quotes a value in a message
// about it ("invalid wrap size: '5x'").
std::string QuoteAlways(const std::string& text);

bool IsHexDigit(char c);
// A hexadecimal letter in the other case; any other character unchanged.
inline char ToLowerHex(char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char ToUpperHex(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; }
int HexValue(char c);
// Compares two hexadecimal texts without regard to letter case.
bool HexEqual(const std::string& a, const std::string& b);

}  // namespace telvarn::cli
