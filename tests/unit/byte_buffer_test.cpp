// ByteBuffer: growth points, NUL placement, the recorded text length and refused growth.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "codec/byte_buffer.h"

namespace telvarn {
namespace {

// Distinct letters, so that a shifted or truncated copy shows.
std::string Letters(size_t count) {
  std::string text(count, ' ');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

std::string Content(const ByteBuffer& buffer) {
  return std::string(buffer.c_str(), static_cast<size_t>(buffer.length()));
}

TEST(ByteBuffer, NewBufferIsEmptyWithA256ByteBlock) {
  ByteBuffer buffer;
  EXPECT_EQ(buffer.capacity(), 256);
  EXPECT_EQ(buffer.length(), 0);
  EXPECT_EQ(buffer.text_length(), 0);
  EXPECT_STREQ(buffer.c_str(), "");
  EXPECT_EQ(buffer.pointer(true), buffer.pointer(false));
  EXPECT_EQ(buffer.text_size(), 0);
  EXPECT_FALSE(buffer.failed());
}

TEST(ByteBuffer, ResetWithoutAHintEmptiesInPlace) {
  ByteBuffer buffer;
  buffer.append_text(Letters(1000).c_str());
  ASSERT_EQ(buffer.capacity(), 1024);
  const uint8_t* block = buffer.bytes();
  for (int32_t hint : {-1, 0, 1024}) {
    buffer.append_text("xyz");
    buffer.reset(hint);
    EXPECT_EQ(buffer.capacity(), 1024) << hint;
    EXPECT_EQ(buffer.bytes(), block) << "a hint within the block must not reallocate";
    EXPECT_EQ(buffer.length(), 0);
    EXPECT_EQ(buffer.text_length(), 0);
    EXPECT_STREQ(buffer.c_str(), "");
  }
}

TEST(ByteBuffer, ResetWithALargerHintTakesAFreshBlockStrictlyLarger) {
  ByteBuffer buffer;
  buffer.append_text("hello");
  buffer.reset(300);
  EXPECT_EQ(buffer.capacity(), 512);
  EXPECT_EQ(buffer.length(), 0);
  EXPECT_STREQ(buffer.c_str(), "");
  EXPECT_NE(std::memcmp(buffer.bytes() + 1, "ello", 4), 0) << "old bytes carried over";

  ByteBuffer exact;
  exact.reset(512);
  EXPECT_EQ(exact.capacity(), 1024) << "the new block must exceed the hint";
  EXPECT_FALSE(exact.failed());
}

TEST(ByteBuffer, AppendTextGrowsOnlyWhenTheNulWouldNotFit) {
  for (auto [count, capacity] : {std::pair<size_t, int32_t>{255, 256}, {256, 512},
                                 {1000, 1024}, {2048, 4096}}) {
    ByteBuffer buffer;
    const std::string text = Letters(count);
    buffer.append_text(text.c_str());
    EXPECT_EQ(buffer.capacity(), capacity) << count;
    EXPECT_EQ(buffer.length(), static_cast<int32_t>(count));
    EXPECT_EQ(buffer.text_length(), static_cast<int32_t>(count));
    EXPECT_EQ(buffer.byte_at(static_cast<int32_t>(count)), 0);
    EXPECT_EQ(buffer.c_str(), text);
  }
}

TEST(ByteBuffer, GrowthCarriesTheContentOver) {
  ByteBuffer buffer;
  buffer.append_text("head:");
  const std::string tail = Letters(600);
  buffer.append_text(tail.c_str());
  EXPECT_EQ(buffer.capacity(), 1024);
  EXPECT_EQ(buffer.c_str(), "head:" + tail);
}

TEST(ByteBuffer, AppendByteGrowsAheadSoTheNextByteAlwaysFits) {
  ByteBuffer buffer;
  std::string expected;
  for (int32_t n = 1; n <= 600; ++n) {
    const char c = static_cast<char>('a' + n % 26);
    buffer.append_byte(static_cast<uint8_t>(c));
    expected += c;
    const int32_t capacity = n < 255 ? 256 : n < 511 ? 512 : 1024;
    ASSERT_EQ(buffer.capacity(), capacity) << "after byte " << n;
    ASSERT_EQ(buffer.length(), n);
    ASSERT_EQ(buffer.byte_at(n), 0);
  }
  EXPECT_EQ(buffer.c_str(), expected);
  EXPECT_EQ(buffer.text_length(), 0) << "append_byte leaves the recorded length alone";
  EXPECT_EQ(buffer.text_size(), 600);
}

TEST(ByteBuffer, AppendByteIntoAFullBlockDoublesFirst) {
  ByteBuffer buffer;
  buffer.append_text(Letters(255).c_str());
  ASSERT_EQ(buffer.capacity(), 256);
  buffer.append_byte('!');
  EXPECT_EQ(buffer.capacity(), 512);
  EXPECT_EQ(buffer.length(), 256);
  EXPECT_EQ(buffer.byte_at(255), '!');
  EXPECT_EQ(buffer.byte_at(256), 0);
  EXPECT_EQ(buffer.c_str(), Letters(255) + "!");
}

TEST(ByteBuffer, LineBreakFitsWhenAByteIsLeftOver) {
  ByteBuffer buffer;
  buffer.append_text(Letters(252).c_str());
  buffer.append_line_break();
  EXPECT_EQ(buffer.capacity(), 256);
  EXPECT_EQ(buffer.length(), 254);
  EXPECT_EQ(buffer.byte_at(252), 13);
  EXPECT_EQ(buffer.byte_at(253), 10);
  EXPECT_EQ(buffer.byte_at(254), 0);
  EXPECT_EQ(buffer.text_length(), 252) << "the line break is not recorded";
  EXPECT_EQ(buffer.text_size(), 254);
  EXPECT_EQ(buffer.text_length(), 254);
}

TEST(ByteBuffer, LineBreakDoublesWhenItWouldFillTheBlock) {
  ByteBuffer buffer;
  buffer.append_text(Letters(253).c_str());
  buffer.append_line_break();
  EXPECT_EQ(buffer.capacity(), 512);
  EXPECT_EQ(buffer.length(), 255);
  EXPECT_EQ(buffer.c_str(), Letters(253) + "\r\n");
  EXPECT_EQ(buffer.byte_at(255), 0);
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
  EXPECT_EQ(buffer.length(), 5);
  EXPECT_STREQ(buffer.c_str(), "ab");
  EXPECT_EQ(buffer.text_size(), 5) << "a NUL at the length makes the length the text size";
  EXPECT_EQ(buffer.byte_at(3), 'c');

  buffer.retreat();
  EXPECT_EQ(buffer.text_size(), 2) << "without a NUL at the length, the first NUL counts";

  ByteBuffer raw;
  const uint8_t bytes[] = {1, 0, 2};
  raw.append_bytes(bytes, 3, false);
  EXPECT_EQ(raw.length(), 3);
  EXPECT_EQ(raw.text_size(), 3);
  EXPECT_EQ(std::memcmp(raw.bytes(), bytes, 3), 0);
}

TEST(ByteBuffer, AppendBytesAtTheEnd) {
  ByteBuffer buffer;
  buffer.append_text("xy");
  buffer.append_bytes(reinterpret_cast<const uint8_t*>("12345"), 5, false);
  EXPECT_EQ(buffer.length(), 7);
  EXPECT_EQ(buffer.text_length(), 7);
  EXPECT_STREQ(buffer.c_str(), "xy12345");

  buffer.append_bytes(reinterpret_cast<const uint8_t*>("zz"), -4, false);
  EXPECT_EQ(buffer.length(), 7) << "a negative count appends nothing";
  EXPECT_STREQ(buffer.c_str(), "xy12345");
  EXPECT_FALSE(buffer.failed());

  ByteBuffer full;
  const std::string block = Letters(256);
  full.append_bytes(reinterpret_cast<const uint8_t*>(block.data()), 255, false);
  EXPECT_EQ(full.capacity(), 256);
  full.append_bytes(reinterpret_cast<const uint8_t*>(block.data()), 1, false);
  EXPECT_EQ(full.capacity(), 512);
  EXPECT_EQ(full.byte_at(256), 0);
}

TEST(ByteBuffer, AppendBytesAtTheTextLengthSkipsOneByteBeforeTheNul) {
  ByteBuffer buffer;
  buffer.append_text("abc");
  for (char c : std::string("defg")) buffer.append_byte(static_cast<uint8_t>(c));
  ASSERT_EQ(buffer.text_length(), 3);
  buffer.append_bytes(reinterpret_cast<const uint8_t*>("XY"), 2, true);
  EXPECT_EQ(buffer.length(), 6);
  EXPECT_EQ(buffer.text_length(), 5);
  EXPECT_STREQ(buffer.c_str(), "abcXYf") << "the byte after the new ones stays, the NUL follows";
  EXPECT_EQ(buffer.byte_at(6), 0);
  EXPECT_EQ(buffer.text_size(), 6);
}

TEST(ByteBuffer, AppendBytesAtTheTextLengthKeepsRoomForTheSkippedByte) {
  const std::string source = Letters(510);
  const auto* bytes = reinterpret_cast<const uint8_t*>(source.data());
  for (auto [count, capacity] : {std::pair<int32_t, int32_t>{254, 256}, {255, 512},
                                 {509, 512}, {510, 1024}}) {
    ByteBuffer buffer;
    buffer.append_bytes(bytes, count, true);
    EXPECT_EQ(buffer.capacity(), capacity) << count;
    EXPECT_EQ(buffer.length(), count + 1);
    EXPECT_EQ(buffer.text_length(), count);
    EXPECT_EQ(buffer.byte_at(count + 1), 0);
    EXPECT_EQ(std::memcmp(buffer.bytes(), bytes, static_cast<size_t>(count)), 0);
  }
}

TEST(ByteBuffer, AssignReplacesTheContentUpToTheFirstNul) {
  ByteBuffer source;
  source.append_text(Letters(300).c_str());
  ByteBuffer target;
  target.append_text("previous content");
  target.assign_from(source);
  EXPECT_EQ(target.c_str(), Letters(300));
  EXPECT_EQ(target.length(), 300);

  source.assign_text("ab");
  EXPECT_EQ(source.capacity(), 512) << "assigning never shrinks the block";
  source.append_byte(0);
  source.append_text("cd");
  target.assign_from(source);
  EXPECT_STREQ(target.c_str(), "ab");
  EXPECT_EQ(target.length(), 2);
  EXPECT_EQ(target.text_length(), 2);
}

TEST(ByteBuffer, SourcesInsideTheBufferItselfAreSafe) {
  ByteBuffer buffer;
  buffer.assign_text("hello world");
  buffer.assign_text(buffer.c_str() + 3);
  EXPECT_STREQ(buffer.c_str(), "lo world") << "the text overlaps where it is copied to";

  const std::string half = Letters(200);
  buffer.assign_text(half.c_str());
  buffer.append(buffer.c_str());
  EXPECT_EQ(buffer.capacity(), 512);
  EXPECT_EQ(buffer.c_str(), half + half) << "the source must outlive the block it was in";

  buffer.append_bytes(buffer.bytes(), 200, false);
  EXPECT_EQ(buffer.c_str(), half + half + half);

  buffer.assign_from(buffer);
  EXPECT_STREQ(buffer.c_str(), "") << "emptied before its own text is read";
}

TEST(ByteBuffer, ForwardingOperationsActOnTheSameContent) {
  ByteBuffer buffer;
  buffer.append_char('A');
  buffer.append("bc");
  buffer.append_byte(0xFF);
  EXPECT_EQ(Content(buffer), "Abc\xFF");
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(buffer.c_str()), buffer.bytes());
  EXPECT_EQ(buffer.pointer(false), buffer.bytes());
  EXPECT_EQ(buffer.pointer(true), buffer.bytes() + 4);
  EXPECT_EQ(buffer.byte_at(3), 255) << "bytes read as unsigned";
  EXPECT_EQ(buffer.byte_at(0), 'A');
}

TEST(ByteBuffer, RefusedGrowthKeepsTheContentAndSetsTheFlag) {
  ByteBuffer buffer;
  buffer.append_text("keep");
  for (int32_t hint : {ByteBuffer::kMaxCapacity, ByteBuffer::kMaxCapacity + 1, INT32_MAX}) {
    buffer.reset(hint);
    EXPECT_TRUE(buffer.failed()) << hint;
    EXPECT_EQ(buffer.capacity(), 256);
    EXPECT_EQ(buffer.length(), 4);
    EXPECT_STREQ(buffer.c_str(), "keep");
  }

  // The source is four bytes: the appends must be refused before it is read.
  const uint8_t small[4] = {1, 2, 3, 4};
  for (bool at_text_length : {false, true}) {
    for (int32_t count : {ByteBuffer::kMaxCapacity - 3, INT32_MAX}) {
      ByteBuffer refused;
      refused.append_text("keep");
      refused.append_bytes(small, count, at_text_length);
      EXPECT_TRUE(refused.failed()) << count;
      EXPECT_EQ(refused.length(), 4);
      EXPECT_EQ(refused.text_length(), 4);
      EXPECT_EQ(refused.capacity(), 256);
      EXPECT_STREQ(refused.c_str(), "keep");
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
  EXPECT_EQ(Content(buffer), "keep-on\r\n");
  buffer.reset(-1);
  EXPECT_TRUE(buffer.failed()) << "emptying must not hide a lost append";
}

}  // namespace
}  // namespace telvarn
