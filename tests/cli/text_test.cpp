// Names in messages, quoted as the GNU tools quote them (the expected texts are
// md5sum's under C.UTF-8), and the escapes of checksum lines.
#include "cli/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telvarn::cli {
namespace {

TEST(QuoteName, QuotesAsTheGnuToolsDoForAShell) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"a/b-c_d.e,f:g@h%i+j]k{}", "a/b-c_d.e,f:g@h%i+j]k{}"},
      {"x~", "x~"},
      {"x#", "x#"},
      {"~x", "'~x'"},
      {"#x", "'#x'"},
      {"", "''"},
      {"a b", "'a b'"},
      {"a=b", "'a=b'"},
      {"*", "'*'"},
      {"a\\b", "'a\\b'"},
      {"[", "'['"},
      {"^", "'^'"},
      {"a\"b", "'a\"b'"},
      {"a'b", "\"a'b\""},
      {"a'b c", "\"a'b c\""},
      {"'", "\"'\""},
      {"a'b$", "'a'\\''b$'"},
      {"no\nsuch", "'no'$'\\n''such'"},
      {"a\x1b" "b", "'a'$'\\033''b'"},
      {"a\tb", "'a'$'\\t''b'"},
      {"a'b\nc", "'a'\\''b'$'\\n''c'"},
      {"\x7f", "''$'\\177'"},
      {"\x01\x02" "a\x03", "''$'\\001\\002''a'$'\\003'"},
      {"\xff\xfe", "''$'\\377\\376'"},
      {"\xc3", "''$'\\303'"},
      {"\xc2\x85", "''$'\\302\\205'"},
      {"\xed\xa0\x80", "''$'\\355\\240\\200'"},
      {"\xc0\xaf", "''$'\\300\\257'"},
      {"\xe2\x80\xa8", "''$'\\342\\200\\250'"},
      {"\xef\xbf\xbf", "''$'\\357\\277\\277'"},
      {"\xc3\xbc", "\xc3\xbc"},
      {"a\xe2\x80\x8b" "b", "a\xe2\x80\x8b" "b"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const auto& [name, quoted] : cases) EXPECT_EQ(QuoteName(name), quoted) << name;
}

TEST(EscapeName, RoundTripsThroughUnescapeAndRefusesWhatNoLineWrites) {
  for (const std::string name : {"a\\b", "a\nb\r", "\\\\n", "plain", "\n"}) {
    EXPECT_TRUE(NameNeedsEscape(name) || name == "plain");
    std::string back;
    ASSERT_TRUE(UnescapeName(EscapeName(name), back)) << name;
    EXPECT_EQ(back, name);
  }
  std::string name;
  for (const std::string& bad : {std::string("a\\"), std::string("a\\t"), std::string("a\0b", 3)}) {
    EXPECT_FALSE(UnescapeName(bad, name));
  }
}

}  // namespace
}  // namespace telvarn::cli
