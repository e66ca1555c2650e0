// The SSE2 scans under telvarn's Base64 decoding against the portable ones: every
// length across the 16-byte steps, every starting offset, and every place of a
// byte outside the alphabet or a line break.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "cli_base64_scan.h"

namespace telvarn::cli {
namespace {

using namespace scan_internal;

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

#if defined(__i386__) || defined(__x86_64__)
TEST(Base64Scan, AlphabetRunEqualsPortableAtEveryLengthOffsetAndStop) {
  std::mt19937 rng(13);
  std::vector<uint8_t> buffer(128);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 80; ++length) {
      for (auto& b : buffer) b = static_cast<uint8_t>(kAlphabet[rng() % 64]);
      uint8_t* text = buffer.data() + offset;
      ASSERT_EQ(AlphabetRunSse2(text, length), length) << offset << " " << length;
      for (size_t stop = 0; stop < length; ++stop) {
        // Every byte that is not a letter, the ones next to the ranges' ends included.
        for (int c : {0, int{'\n'}, int{'\r'}, int{'='}, int{' '}, int{'@'}, int{'['}, int{'`'}, int{'{'}, int{'*'}, int{','}, int{'.'}, int{':'}, 0x7F, 0x80, 0xC3, 0xFF}) {
          const uint8_t kept = text[stop];
          text[stop] = static_cast<uint8_t>(c);
          ASSERT_EQ(AlphabetRunSse2(text, length), AlphabetRunPortable(text, length))
              << offset << " " << length << " " << stop << " " << c;
          ASSERT_EQ(AlphabetRunSse2(text, length), stop);
          text[stop] = kept;
        }
      }
    }
  }
  for (int c = 0; c < 256; ++c) {
    const uint8_t byte = static_cast<uint8_t>(c);
    std::vector<uint8_t> block(17, byte);
    EXPECT_EQ(AlphabetRunSse2(block.data(), block.size()), AlphabetRunPortable(block.data(), block.size())) << c;
  }
}

TEST(Base64Scan, DropLineBreaksEqualsPortableAtEveryLengthAndOffset) {
  std::mt19937 rng(29);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 100; ++length) {
      for (int density : {0, 3, 20, 77}) {
        std::string text(offset + length, 'A');
        for (size_t i = offset; i < text.size(); ++i) {
          text[i] = kAlphabet[rng() % 64];
          if (density != 0 && rng() % static_cast<unsigned>(density) == 0) {
            text[i] = '\n';
            if (i > offset && rng() % 2 == 0) text[i - 1] = '\r';
          }
        }
        std::string fast = text;
        std::string portable = text;
        const size_t fast_length = DropLineBreaksSse2(&fast[offset], length);
        const size_t portable_length = DropLineBreaksPortable(&portable[offset], length);
        ASSERT_EQ(fast_length, portable_length) << offset << " " << length << " " << density;
        ASSERT_EQ(fast.substr(offset, fast_length), portable.substr(offset, portable_length));
        // Nothing past the text is touched.
        ASSERT_EQ(fast.substr(0, offset), text.substr(0, offset));
      }
    }
  }
}
#endif

TEST(Base64Scan, DropLineBreaksKeepsEverythingElseInOrder) {
  std::string text = "QUJD\r\nREVG\nR0g=\r\n";
  const size_t length = DropLineBreaks(&text[0], text.size());
  EXPECT_EQ(text.substr(0, length), "QUJDREVGR0g=");
  EXPECT_EQ(AlphabetRun(reinterpret_cast<const uint8_t*>("QUJD\r\n"), 6), 4u);
}

}  // namespace
}  // namespace telvarn::cli
