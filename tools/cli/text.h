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

// A name as messages show it: unchanged when it is plain, otherwise in single quotes
// (a quote inside as '\''), so that spaces and odd characters stand out.
std::string QuoteName(const std::string& name);

bool IsHexDigit(char c);
int HexValue(char c);
// Compares two hexadecimal texts without regard to letter case.
bool HexEqual(const std::string& a, const std::string& b);

}  // namespace telvarn::cli
