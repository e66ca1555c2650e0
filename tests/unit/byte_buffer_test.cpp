// ByteBuffer as its callers use it: content and NUL kept through growth, the recorded text length, refused growth.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "codec/byte_buffer.h"

namespace telvarn {
namespace {

// Distinct letters from `first` on, so that a shifted or truncated copy shows.
std::string Letters(size_t count, size_t first = 0) {
  std::string text(count, ' ');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>('a' + (first + i) % 26);
  return text;
}

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string Content(const ByteBuffer& buffer) {
  return std::string(buffer.c_str(), static_cast<size_t>(buffer.length()));
}

// What holds after every reset and append: the content, then a NUL inside the block.
::testing::AssertionResult Holds(const ByteBuffer& buffer, const std::string& expected) {
  const std::string content = Content(buffer);
  if (content != expected) {
    const size_t differs = static_cast<size_t>(
        std::mismatch(content.begin(), content.end(), expected.begin(), expected.end()).first - content.begin());
    return ::testing::AssertionFailure() << "holds " << content.size() << " bytes, not " << expected.size()
                                         << ", differing from byte " << differs;
  }
  if (buffer.length() >= buffer.capacity()) return ::testing::AssertionFailure() << "no room for the NUL";
  if (buffer.byte_at(buffer.length()) != 0) return ::testing::AssertionFailure() << "no NUL after the content";
  return ::testing::AssertionSuccess();
}

TEST(ByteBuffer, NewBufferIsAnEmptyString) {
  ByteBuffer buffer;
  EXPECT_TRUE(Holds(buffer, ""));
  EXPECT_EQ(buffer.text_length(), 0);
  EXPECT_STREQ(buffer.c_str(), "");
  EXPECT_EQ(buffer.pointer(true), buffer.pointer(false));
  EXPECT_EQ(buffer.text_size(), 0);
  EXPECT_FALSE(buffer.failed());
}

// Every append size onto contents that leave the first block empty, nearly full,
// exactly full and grown once, as text and as bytes, and a line break after each.
TEST(ByteBuffer, AppendsOfEverySizeKeepTheContentAndItsNul) {
  for (size_t start : {0, 1, 200, 253, 254, 255, 256, 511}) {
    const std::string head = Letters(start);
    for (size_t count = 0; count <= 600; ++count) {
      SCOPED_TRACE(testing::Message() << count << " bytes after " << start);
      const std::string tail = Letters(count, 7);
      ByteBuffer text;
      text.append_text(head.c_str());
      text.append_text(tail.c_str());
      ASSERT_TRUE(Holds(text, head + tail));
      ASSERT_EQ(text.text_length(), static_cast<int32_t>(start + count));

      ByteBuffer bytes;
      bytes.append_bytes(Bytes(head), static_cast<int32_t>(start), false);
      bytes.append_bytes(Bytes(tail), static_cast<int32_t>(count), false);
      ASSERT_TRUE(Holds(bytes, head + tail));
      ASSERT_EQ(bytes.text_length(), static_cast<int32_t>(start + count));
    }
    ByteBuffer line;
    line.append_text(head.c_str());
    line.append_line_break();
    ASSERT_TRUE(Holds(line, head + "\r\n")) << start;
    EXPECT_EQ(line.text_length(), static_cast<int32_t>(start)) << "the line break is not recorded";
    EXPECT_EQ(line.text_size(), static_cast<int32_t>(start + 2));
    EXPECT_EQ(line.text_length(), static_cast<int32_t>(start + 2));
  }
}

// Bytes appended one at a time, as the encoders write: every one kept, and the
// block replaced a logarithmic number of times, not once every few bytes.
TEST(ByteBuffer, AppendByteKeepsEveryByteAndGrowsGeometrically) {
  constexpr int32_t kCount = 1 << 20;
  ByteBuffer buffer;
  std::string expected;
  const uint8_t* block = buffer.bytes();
  int replacements = 0;
  for (int32_t n = 1; n <= kCount; ++n) {
    const char c = static_cast<char>('a' + n % 26);
    buffer.append_byte(static_cast<uint8_t>(c));
    expected += c;
    if (n <= 1100) {
      ASSERT_TRUE(Holds(buffer, expected)) << "after byte " << n;
    }
    if (buffer.bytes() != block) ++replacements;
    block = buffer.bytes();
  }
  EXPECT_TRUE(Holds(buffer, expected));
  EXPECT_LE(replacements, 20);
  EXPECT_EQ(buffer.text_length(), 0) << "append_byte leaves the recorded length alone";
  EXPECT_EQ(buffer.text_size(), kCount);
}

// An emptied buffer keeps its block for contents it already held; a hint larger
// than the block makes room for that many bytes and the NUL at once.
TEST(ByteBuffer, ResetEmptiesAndMakesRoomForTheHint) {
  const std::string letters = Letters(5000);
  ByteBuffer buffer;
  buffer.append_text(letters.substr(0, 1000).c_str());
  const uint8_t* block = buffer.bytes();
  for (int32_t hint : {-1, 0, 1000}) {
    buffer.append_text("xyz");
    buffer.reset(hint);
    EXPECT_TRUE(Holds(buffer, "")) << hint;
    EXPECT_EQ(buffer.text_length(), 0);
    buffer.append_bytes(Bytes(letters), 1000, false);
    EXPECT_EQ(buffer.bytes(), block) << "hint " << hint << " replaced a block that was large enough";
    buffer.reset(-1);
  }
  for (int32_t hint : {300, 512, 5000}) {
    ByteBuffer sized;
    sized.append_text("hello");
    sized.reset(hint);
    EXPECT_TRUE(Holds(sized, "")) << hint;
    const uint8_t* fresh = sized.bytes();
    sized.append_bytes(Bytes(letters), hint, false);
    EXPECT_TRUE(Holds(sized, letters.substr(0, static_cast<size_t>(hint))));
    EXPECT_EQ(sized.bytes(), fresh) << "a hint of " << hint << " left no room for as many bytes";
    EXPECT_FALSE(sized.failed());
  }
}

TEST(ByteBuffer, TextSizeRemeasuresWhenNoNulEndsTheContent) {
  ByteBuffer buffer;
  buffer.append_text("abc");
  buffer.retreat();
  EXPECT_EQ(buffer.length(), 2);
  EXPECT_EQ(buffer.byte_at(2), 'c');
  EXPECT_EQ(buffer.text_length(), 3);
  EXPECT_EQ(buffer.text_size(), 3) << "measured up to the NUL, not taken from the length";
  buffer.advance();
  EXPECT_EQ(buffer.length(), 3);
  EXPECT_EQ(buffer.text_size(), 3);
}

TEST(ByteBuffer, EmbeddedZeroEndsTheStringButNotTheLength) {
  ByteBuffer buffer;
  buffer.append_text("ab");
  buffer.append_byte(0);
  buffer.append_text("cd");
  EXPECT_TRUE(Holds(buffer, std::string("ab\0cd", 5)));
  EXPECT_STREQ(buffer.c_str(), "ab");
  EXPECT_EQ(buffer.text_size(), 5) << "a NUL at the length makes the length the text size";

  buffer.retreat();
  EXPECT_EQ(buffer.text_size(), 2) << "without a NUL at the length, the first NUL counts";

  ByteBuffer raw;
  raw.append_bytes(Bytes(std::string("\1\0\2", 3)), 3, false);
  EXPECT_TRUE(Holds(raw, std::string("\1\0\2", 3)));
  EXPECT_EQ(raw.text_size(), 3);
}

TEST(ByteBuffer, ANegativeCountAppendsNothing) {
  ByteBuffer buffer;
  buffer.append_text("xy12345");
  buffer.append_bytes(Bytes("zz"), -4, false);
  EXPECT_TRUE(Holds(buffer, "xy12345"));
  EXPECT_FALSE(buffer.failed());
}

// At the text length, the byte after the new ones stays and the NUL follows it:
// within a content, and from empty at every count, where that byte needs room.
TEST(ByteBuffer, AppendBytesAtTheTextLengthSkipsOneByteBeforeTheNul) {
  ByteBuffer buffer;
  buffer.append_text("abc");
  for (char c : std::string("defg")) buffer.append_byte(static_cast<uint8_t>(c));
  ASSERT_EQ(buffer.text_length(), 3);
  buffer.append_bytes(Bytes("XY"), 2, true);
  EXPECT_TRUE(Holds(buffer, "abcXYf"));
  EXPECT_EQ(buffer.text_length(), 5);
  EXPECT_EQ(buffer.text_size(), 6);

  const std::string source = Letters(600);
  for (int32_t count = 0; count <= 600; ++count) {
    ByteBuffer fresh;
    fresh.append_bytes(Bytes(source), count, true);
    ASSERT_EQ(fresh.length(), count + 1);
    ASSERT_LT(fresh.length(), fresh.capacity()) << count;
    ASSERT_EQ(fresh.byte_at(count + 1), 0) << count;
    ASSERT_EQ(fresh.text_length(), count);
    ASSERT_EQ(std::memcmp(fresh.bytes(), source.data(), static_cast<size_t>(count)), 0) << count;
  }
}

TEST(ByteBuffer, AssignReplacesTheContentUpToTheFirstNulInTheSameBlock) {
  ByteBuffer source;
  source.append_text(Letters(300).c_str());
  ByteBuffer target;
  target.append_text("previous content");
  target.assign_from(source);
  EXPECT_TRUE(Holds(target, Letters(300)));

  const uint8_t* block = source.bytes();
  source.assign_text("ab");
  EXPECT_EQ(source.bytes(), block) << "a shorter text fits the block it has";
  source.append_byte(0);
  source.append_text("cd");
  target.assign_from(source);
  EXPECT_TRUE(Holds(target, "ab"));
  EXPECT_EQ(target.text_length(), 2);
}

TEST(ByteBuffer, SourcesInsideTheBufferItselfAreSafe) {
  ByteBuffer buffer;
  buffer.assign_text("hello world");
  buffer.assign_text(buffer.c_str() + 3);
  EXPECT_TRUE(Holds(buffer, "lo world")) << "the text overlaps where it is copied to";

  const std::string half = Letters(200);
  buffer.assign_text(half.c_str());
  const uint8_t* first_block = buffer.bytes();
  buffer.append(buffer.c_str());
  ASSERT_NE(buffer.bytes(), first_block) << "the append was to replace the block it reads";
  EXPECT_TRUE(Holds(buffer, half + half)) << "the source must outlive the block it was in";

  buffer.append_bytes(buffer.bytes(), 200, false);
  EXPECT_TRUE(Holds(buffer, half + half + half));

  buffer.assign_from(buffer);
  EXPECT_TRUE(Holds(buffer, "")) << "emptied before its own text is read";
}

TEST(ByteBuffer, ForwardingOperationsActOnTheSameContent) {
  ByteBuffer buffer;
  buffer.append_char('A');
  buffer.append("bc");
  buffer.append_byte(0xFF);
  EXPECT_TRUE(Holds(buffer, "Abc\xFF"));
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(buffer.c_str()), buffer.bytes());
  EXPECT_EQ(buffer.pointer(false), buffer.bytes());
  EXPECT_EQ(buffer.pointer(true), buffer.bytes() + 4);
  EXPECT_EQ(buffer.byte_at(3), 255) << "bytes read as unsigned";
  EXPECT_EQ(buffer.byte_at(0), 'A');
}

TEST(ByteBuffer, RefusedGrowthChangesNothingButTheFlag) {
  ByteBuffer buffer;
  buffer.append_text("keep");
  const int32_t capacity = buffer.capacity();
  for (int32_t hint : {ByteBuffer::kMaxCapacity, ByteBuffer::kMaxCapacity + 1, INT32_MAX}) {
    buffer.reset(hint);
    EXPECT_TRUE(buffer.failed()) << hint;
    EXPECT_EQ(buffer.capacity(), capacity);
    EXPECT_TRUE(Holds(buffer, "keep"));
  }

  // The source is four bytes: the appends must be refused before it is read.
  const uint8_t small[4] = {1, 2, 3, 4};
  for (bool at_text_length : {false, true}) {
    for (int32_t count : {ByteBuffer::kMaxCapacity - 3, INT32_MAX}) {
      ByteBuffer refused;
      refused.append_text("keep");
      const uint8_t* block = refused.bytes();
      refused.append_bytes(small, count, at_text_length);
      EXPECT_TRUE(refused.failed()) << count;
      EXPECT_TRUE(Holds(refused, "keep"));
      EXPECT_EQ(refused.text_length(), 4);
      EXPECT_EQ(refused.bytes(), block);
      EXPECT_EQ(refused.capacity(), capacity);
    }
  }
}

TEST(ByteBuffer, FailureFlagIsStickyWhileTheBufferStaysUsable) {
  ByteBuffer buffer;
  buffer.append_text("keep");
  buffer.reset(INT32_MAX);
  ASSERT_TRUE(buffer.failed());
  buffer.append_text("-on");
  buffer.append_line_break();
  EXPECT_TRUE(Holds(buffer, "keep-on\r\n"));
  buffer.reset(-1);
  EXPECT_TRUE(buffer.failed()) << "emptying must not hide a lost append";
}

}  // namespace
}  // namespace telvarn
