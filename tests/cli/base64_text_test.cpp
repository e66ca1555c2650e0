// The Base64 text check before decoding: what it takes and refuses, fed whole or cut
// anywhere; the garbage filter; and the canonical form of padded groups.
#include "cli/base64_text_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace telvarn::cli {
namespace {

constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int LetterValue(char c) {
  for (int v = 0; v < 64; ++v) {
    if (kLetters[v] == c) return v;
  }
  return -1;
}

bool Check(const std::string& text, size_t cut) {
  Base64Validator validator;
  return validator.Feed(text.data(), cut) && validator.Feed(text.data() + cut, text.size() - cut) &&
         validator.End();
}

TEST(Base64TextCheck, TakesRfc4648TextAndConcatenatedPaddedTextsWhereverTheBlocksAreCut) {
  struct Case {
    std::string text;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"", true},
      {"YWJj", true},
      {"YQ==", true},
      {"YWI=", true},
      {"YQ==YQ==", true},
      {"YWJjZA==YWJj", true},
      {"YQ=\n=", true},
      {"YW\r\nJj\n", true},
      {"\n\n", true},
      {"YQ==YQ", false},
      {"YQ=", false},
      {"YQ", false},
      {"YQ===", false},
      {"Y===", false},
      {"=", false},
      {"YQ=a", false},
      {"YQ=*=", false},
      {"Y Q==", false},
      {"YQ\r==", false},
      {"YQ==\r", false},
      {"YWJj\x80", false},
      {std::string("YW\0j", 4), false},
  };
  for (const Case& c : cases) {
    for (size_t cut = 0; cut <= c.text.size(); ++cut) {
      EXPECT_EQ(Check(c.text, cut), c.ok) << c.text << " cut at " << cut;
    }
  }
}

TEST(Base64TextCheck, TheFirstBadByteIsNamedWithItsOffset) {
  Base64Validator validator;
  EXPECT_TRUE(validator.Feed("YWJj", 4));
  EXPECT_FALSE(validator.Feed("Y*Q=", 4));
  EXPECT_NE(validator.error().find("'*' at byte 5"), std::string::npos) << validator.error();
}

TEST(Base64TextCheck, KeepBase64OnlyKeepsLettersAndPaddingInOrder) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 300, '\0');
    for (char& c : text) {
      c = rng() % 4 == 0 ? static_cast<char>(rng() % 256) : kLetters[rng() % 64];
    }
    std::string expected;
    for (char c : text) {
      if (LetterValue(c) >= 0 || c == '=') expected += c;
    }
    std::string filtered = text;
    filtered.resize(KeepBase64Only(&filtered[0], filtered.size()));
    ASSERT_EQ(filtered, expected);
  }
}

TEST(Base64TextCheck, PaddedGroupsKeepTheirBytesAndLoseOnlyTheBitsUnderThePadding) {
  for (int x = 0; x < 64; ++x) {
    for (int y = 0; y < 64; ++y) {
      std::string two = {kLetters[x], kLetters[y], '=', '='};
      ASSERT_EQ(CanonicalUpToPadding(&two[0], 4), 4u);
      EXPECT_EQ(LetterValue(two[1]), y & 0x30);
      EXPECT_EQ(two[0], kLetters[x]);
      for (int z = 0; z < 64; ++z) {
        std::string three = {kLetters[x], kLetters[y], kLetters[z], '='};
        ASSERT_EQ(CanonicalUpToPadding(&three[0], 4), 4u);
        ASSERT_EQ(LetterValue(three[2]), z & 0x3C);
        ASSERT_EQ(three.substr(0, 2), std::string({kLetters[x], kLetters[y]}));
      }
    }
  }
  std::string groups = "YWJjYR==YWJ=";
  EXPECT_EQ(CanonicalUpToPadding(&groups[0], groups.size()), 8u);
  EXPECT_EQ(groups, "YWJjYQ==YWJ=");
  EXPECT_EQ(CanonicalUpToPadding(&groups[8], 4), 4u);
  EXPECT_EQ(groups, "YWJjYQ==YWI=");
  std::string plain = "YWJj";
  EXPECT_EQ(CanonicalUpToPadding(&plain[0], 4), 4u);
  EXPECT_EQ(plain, "YWJj");
}

}  // namespace
}  // namespace telvarn::cli
