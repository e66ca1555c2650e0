// Checksum list lines: both forms, digests of every length, escapes, line ends, NUL
// bytes, the byte-order mark, and the separator memory that malformed lines leave alone.
#include "cli/sums_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telvarn::cli {
namespace {

struct Algorithm {
  const char* tag;
  size_t length;
};
constexpr Algorithm kAlgorithms[] = {{"CRC16", 4}, {"CRC32", 8},    {"MD5", 32},
                                     {"SHA1", 40}, {"SHA256", 64}, {"SHA512", 128}};

std::string Digits(size_t count, char first = 'a') {
  std::string digits;
  for (size_t i = 0; i < count; ++i) digits += "0123456789abcdefABCDEF"[(i + (first - 'a')) % 22];
  return digits;
}

bool Parse(const std::string& line, const Algorithm& algorithm, SumsLine& parsed,
           SeparatorForm form = SeparatorForm::kUnknown) {
  return ParseSumsLine(line, algorithm.tag, algorithm.length, form, parsed);
}

TEST(SumsLine, OnlyDigestsOfTheAlgorithmsLengthAreWellFormedInBothForms) {
  for (const Algorithm& algorithm : kAlgorithms) {
    for (size_t length = 0; length <= 130; ++length) {
      const std::string digest = Digits(length);
      const bool right = length == algorithm.length;
      SumsLine parsed;
      const std::string gnu_two = digest + "  name";
      const std::string gnu_star = digest + " *name";
      const std::string gnu_one = digest + " name";
      const std::string bsd = std::string(algorithm.tag) + " (name) = " + digest;
      const std::string bsd_tight = std::string(algorithm.tag) + "(name)=" + digest;
      for (const std::string& line : {gnu_two, gnu_star, gnu_one, bsd, bsd_tight}) {
        ASSERT_EQ(Parse(line, algorithm, parsed), right) << algorithm.tag << ": " << line;
        if (right) {
          EXPECT_EQ(parsed.digest, digest);
          EXPECT_EQ(parsed.name, "name") << line;
        }
      }
    }
  }
}

TEST(SumsLine, EveryNonHexadecimalByteInADigestMakesTheLineMalformed) {
  const Algorithm& sha256 = kAlgorithms[4];
  for (size_t at = 0; at < sha256.length; ++at) {
    for (char bad : {'g', 'G', ' ', '\t', '\0', '-', 'x', '\xFF'}) {
      std::string digest = Digits(sha256.length);
      digest[at] = bad;
      SumsLine parsed;
      EXPECT_FALSE(Parse(digest + "  name", sha256, parsed)) << at << " " << int(bad);
      EXPECT_FALSE(Parse("SHA256 (name) = " + digest, sha256, parsed)) << at << " " << int(bad);
    }
  }
}

TEST(SumsLine, AMalformedLineLeavesTheListsSeparatorFormAsItWas) {
  const Algorithm& sha256 = kAlgorithms[4];
  const std::string good = Digits(64);
  SeparatorForm form = SeparatorForm::kUnknown;
  SumsLine parsed;
  // Too short a digest followed by two blanks would, read as a digest, look like
  // the one-blank form: it must not decide the form of the lines after it.
  EXPECT_FALSE(ParseSumsLine(Digits(63) + "  a", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(form, SeparatorForm::kUnknown);
  EXPECT_FALSE(ParseSumsLine("\\" + good + " \\q", sha256.tag, sha256.length, form, parsed));
  ASSERT_TRUE(ParseSumsLine(good + "  empty", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(parsed.name, "empty");
  EXPECT_EQ(form, SeparatorForm::kTwoCharacters);
  // Once two characters separate, a single blank cannot: " x" would be its name.
  EXPECT_FALSE(ParseSumsLine(good + " x", sha256.tag, sha256.length, form, parsed));
  ASSERT_TRUE(ParseSumsLine(good + "   x", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(parsed.name, " x");

  form = SeparatorForm::kUnknown;
  ASSERT_TRUE(ParseSumsLine(good + " x", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(form, SeparatorForm::kOneBlank);
  ASSERT_TRUE(ParseSumsLine(good + "  y", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(parsed.name, " y");
  // A one-byte name after the blank is the one-blank form, whatever the byte.
  form = SeparatorForm::kUnknown;
  ASSERT_TRUE(ParseSumsLine(good + " *", sha256.tag, sha256.length, form, parsed));
  EXPECT_EQ(parsed.name, "*");
  EXPECT_EQ(form, SeparatorForm::kOneBlank);
}

TEST(SumsLine, NamesAreTakenAsWrittenOrUnescaped) {
  const Algorithm& md5 = kAlgorithms[2];
  const std::string d = Digits(32);
  struct Case {
    std::string line;
    bool ok;
    std::string name;
  };
  const std::vector<Case> cases = {
      {d + "  a b ", true, "a b "},
      {d + "  \\n", true, "\\n"},  // a backslash without the line's mark is a plain byte
      {"\\" + d + "  a\\nb", true, "a\nb"},
      {"\\" + d + "  a\\rb\\\\c", true, "a\rb\\c"},
      {"\\" + d + "  a\\tb", false, ""},
      {"\\" + d + "  ab\\", false, ""},
      {" \t" + d + "  lead", true, "lead"},
      {d + "\t\tname", true, "\tname"},  // a tab is a blank, not a separator
      {d + "  a" + std::string(1, '\0') + "x", true, "a"},
      {"\\" + d + "  a" + std::string(1, '\0') + "x", false, ""},
      {d + "  " + std::string(1, '\0') + "x", true, ""},  // names no file: "FAILED open or read"
      {"MD5 (a (b) c) = " + d, true, "a (b) c"},
      {"MD5 (x) =\t" + d, true, "x"},
      {"MD5 (x" + std::string(1, '\0') + "y) = " + d, true, "x"},
      {"\\MD5 (a\\nb) = " + d, true, "a\nb"},
      {"\\MD5 (a\\qb) = " + d, false, ""},
      {"MD5 () = " + d, true, ""},
      {"MD5 (x) " + d, false, ""},
      {"MD5 x = " + d, false, ""},
      {"SHA1 (x) = " + d, false, ""},
      {d + " ", false, ""},
      {d, false, ""},
  };
  for (const Case& c : cases) {
    SumsLine parsed;
    ASSERT_EQ(Parse(c.line, md5, parsed), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(parsed.name, c.name) << c.line;
    }
  }
}

TEST(SumsLine, LinesArePreparedForTheirLineEndsMarksAndComments) {
  struct Case {
    std::string read;
    bool first;
    ListLine what;
    std::string left;
  };
  const std::vector<Case> cases = {
      {"abc\n", false, ListLine::kParse, "abc"},
      {"abc\r\n", false, ListLine::kParse, "abc"},
      {"abc\r\r\n", false, ListLine::kParse, "abc\r"},
      {"abc", false, ListLine::kParse, "abc"},
      {"abc\r", false, ListLine::kParse, "abc"},
      {"\n", false, ListLine::kSkip, ""},
      {"\r\n", false, ListLine::kSkip, ""},
      {"# comment\n", false, ListLine::kSkip, ""},
      {" # not a comment\n", false, ListLine::kParse, " # not a comment"},
      {"\xEF\xBB\xBF" "abc\r\n", true, ListLine::kParse, "abc"},
      {"\xEF\xBB\xBF" "abc\n", false, ListLine::kParse, "\xEF\xBB\xBF" "abc"},
      {"\xEF\xBB\xBF" "# comment\n", true, ListLine::kSkip, ""},
      {"\xEF\xBB\xBF\n", true, ListLine::kSkip, ""},
  };
  for (const Case& c : cases) {
    std::string line = c.read;
    EXPECT_EQ(PrepareListLine(line, c.first), c.what) << c.read;
    if (c.what == ListLine::kParse) {
      EXPECT_EQ(line, c.left) << c.read;
    }
  }
}

}  // namespace
}  // namespace telvarn::cli
