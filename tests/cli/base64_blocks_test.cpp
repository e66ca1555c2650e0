// Base64 in blocks: line layout joined across every cut equals the whole text's, and
// the block decoder, over the module's export, gives RFC 4648's bytes for texts cut
// anywhere, with line breaks, padded texts one after another and bits under padding.
#include "cli/base64_blocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "module_binding/module_binding.h"

namespace telvarn::cli {
namespace {

constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Wrapped(const std::string& text, uint64_t columns, const std::string& end) {
  if (columns == 0) return text;
  const size_t width = columns < text.size() ? static_cast<size_t>(columns) : text.size();
  std::string out;
  for (size_t i = 0; i < text.size(); i += width) {
    out += text.substr(i, width) + end;
  }
  return out;
}

TEST(LineLayout, BlocksCutAnywhereGiveTheLinesOfTheWholeText) {
  std::mt19937 rng(11);
  for (uint64_t columns : {0ull, 1ull, 2ull, 3ull, 4ull, 7ull, 64ull, 76ull, 1ull << 40}) {
    for (bool crlf : {false, true}) {
      for (int round = 0; round < 40; ++round) {
        std::string text(rng() % 400, 'A');
        for (char& c : text) c = kLetters[rng() % 64];
        LineLayout layout(columns, crlf);
        std::string joined;
        std::vector<char> out;
        for (size_t at = 0; at < text.size();) {
          const size_t take = std::min<size_t>(text.size() - at, rng() % 90);
          layout.Add(text.data() + at, take, out);
          joined.append(out.begin(), out.end());
          at += take;
        }
        joined += layout.Close();
        ASSERT_EQ(joined, Wrapped(text, columns, crlf ? "\r\n" : "\n")) << columns << " " << crlf;
      }
    }
  }
}

std::string Encode(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) text += k <= n ? kLetters[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

class BlockDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadModuleExports(exports_, error)) << error;
  }

  std::string DecodeInBlocks(const std::string& text, size_t block, std::mt19937& rng) {
    BlockDecoder decoder(exports_, block);
    std::string decoded;
    size_t at = 0;
    for (;;) {
      const size_t take = std::min(text.size() - at, 1 + rng() % block);
      std::memcpy(decoder.room(), text.data() + at, take);
      const char* bytes = nullptr;
      size_t count = 0;
      decoder.Decode(take, bytes, count);
      decoded.append(bytes, count);
      at += take;
      if (take == 0) break;
    }
    return decoded;
  }

  ModuleExports exports_{};
};

TEST_F(BlockDecoderTest, TextsCutAnywhereDecodeToTheirBytes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 600; ++round) {
    // One to three texts one after another, each of whole groups, padded or not.
    std::string bytes, text;
    const int parts = 1 + static_cast<int>(rng() % 3);
    for (int part = 0; part < parts; ++part) {
      std::string piece(rng() % 40, '\0');
      for (char& c : piece) c = static_cast<char>(rng());
      std::string encoded = Encode(piece);
      // Bits under the padding that a canonical encoder leaves zero are set here.
      if (!encoded.empty() && encoded.back() == '=') {
        const size_t at = encoded.size() - (encoded[encoded.size() - 2] == '=' ? 3 : 2);
        const int value = static_cast<int>(std::string(kLetters).find(encoded[at]));
        encoded[at] = kLetters[value | static_cast<int>(rng() % (encoded[encoded.size() - 2] == '=' ? 16 : 4))];
      }
      bytes += piece;
      text += encoded;
    }
    // Line breaks anywhere.
    std::string broken;
    for (char c : text) {
      if (rng() % 9 == 0) broken += rng() % 2 ? "\n" : "\r\n";
      broken += c;
    }
    for (size_t block : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{17}, size_t{64}}) {
      ASSERT_EQ(DecodeInBlocks(broken, block, rng), bytes) << broken << " in blocks of " << block;
    }
  }
}

TEST_F(BlockDecoderTest, TheBitsUnderThePaddingGiveNoByte) {
  std::mt19937 rng(1);
  for (const auto& [text, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"YWJ=", "ab"}, {"QUJ=", "AB"}, {"QUJDREW=", "ABCDE"}, {"YR==", "a"}, {"YQ==YQ==", "aa"},
           {"YWJjZA==YWJj", "abcdab" "c"}, {"", ""}}) {
    EXPECT_EQ(DecodeInBlocks(text, 1 << 16, rng), bytes) << text;
  }
}

}  // namespace
}  // namespace telvarn::cli
