// One line of a checksum list, as sha256sum and its kin write and read them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace telvarn::cli {

// What a list's earlier well-formed lines said of the GNU form's separator. A list
// that began with "DIGEST  NAME" (two characters: blank and ' ' or '*') does not
// switch to "DIGEST NAME" (one blank), and the other way round: a name that begins
// with a blank cannot then pose as a separator. Malformed lines leave it alone.
enum class SeparatorForm { kUnknown, kTwoCharacters, kOneBlank };

// The digest a line gives and the name of the file it is for.
struct SumsLine {
  std::string digest;
  std::string name;  // unescaped when the line starts with '\\'
};

// What to do with a line read from a list, once its line end is gone.
enum class ListLine { kSkip, kParse };

// Prepares a line as read (with its LF, if any) for parsing: drops a UTF-8
// byte-order mark from the first line, the LF and a CR before it. Comments ('#' in
// the first column) and empty lines are skipped.
ListLine PrepareListLine(std::string& line, bool first_line);

// Parses one prepared line for an algorithm whose BSD tag is `tag` ("SHA256") and
// whose digests have `digest_length` hexadecimal digits. Both forms are read:
//   GNU: [\]DIGEST  NAME, [\]DIGEST *NAME, or [\]DIGEST NAME throughout a list;
//   BSD: [\]TAG (NAME) = DIGEST, as --tag writes it.
// A leading backslash marks a name written with \\, \n and \r escapes. A NUL byte
// ends a plain name, as it ends the C string that the GNU tools read; an escaped
// name must not hold one. False for a line that is not well-formed; `form` then
// stays as it was.
bool ParseSumsLine(std::string_view line, std::string_view tag, size_t digest_length, SeparatorForm& form,
                   SumsLine& parsed);

}  // namespace telvarn::cli
