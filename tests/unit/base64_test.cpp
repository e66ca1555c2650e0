// Base64 encoder and decoder: vectors, line breaks, the lenient decoding, refusals, round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "support/guarded_buffer.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using test::RandomBytes;

// A destination of `size` bytes between guard bytes that no call may touch.
class Guarded : public test::GuardedBuffer {
 public:
  explicit Guarded(size_t size, uint8_t fill = 0xEE) : GuardedBuffer(size, 16, 0xA5, fill) {}
};

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Counting(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

struct Encoded {
  int32_t result;
  std::string text;
};

// Encodes into a destination of exactly the text's size and its NUL, and checks
// that nothing past it was written.
Encoded Encode(const std::vector<uint8_t>& source, int32_t line_mode) {
  const size_t size = static_cast<size_t>(EncodedBase64Length(source.size(), line_mode)) + 1;
  Guarded destination(size);
  // A zero length would mean "up to the first NUL", so an empty source is given as
  // a lone NUL.
  const uint8_t nul = 0;
  const uint8_t* from = source.empty() ? &nul : source.data();
  const auto length = static_cast<uint32_t>(source.size());
  Encoded out{EncodeBase64(destination.data(), from, length, line_mode), destination.text()};
  EXPECT_EQ(destination.Damage(), "") << "written past the text's NUL";
  EXPECT_EQ(out.text.size() + 1, size);
  return out;
}

struct Decoded {
  int32_t result;
  std::vector<uint8_t> bytes;
};

// Decodes into a destination of exactly the expected count, guarded.
Decoded Decode(std::string text, size_t expected_count) {
  Guarded destination(expected_count);
  std::vector<char> source(text.begin(), text.end());
  source.push_back('\0');
  const int32_t result = DecodeBase64(destination.data(), source.data());
  EXPECT_EQ(destination.Damage(), "") << "written past the decoded bytes";
  const size_t count = result < 0 ? static_cast<size_t>(-static_cast<int64_t>(result)) : 0;
  return Decoded{result, destination.head(count < expected_count ? count : expected_count)};
}

std::string Strip(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

// An independent, textbook RFC 4648 codec to compare against.
constexpr char kReferenceAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ReferenceEncode(const std::vector<uint8_t>& in) {
  std::string out;
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out += kReferenceAlphabet[(v >> shift) & 63];
  }
  const size_t rest = in.size() - i;
  if (rest == 1) {
    out += kReferenceAlphabet[in[i] >> 2];
    out += kReferenceAlphabet[(in[i] & 3) << 4];
    out += "==";
  } else if (rest == 2) {
    out += kReferenceAlphabet[in[i] >> 2];
    out += kReferenceAlphabet[((in[i] & 3) << 4) | (in[i + 1] >> 4)];
    out += kReferenceAlphabet[(in[i + 1] & 15) << 2];
    out += '=';
  }
  return out;
}

// Strict: padded text of a multiple of 4 characters, alphabet only.
bool ReferenceDecode(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t v = 0;
    int pad = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      const char* at = c == '=' ? nullptr : std::strchr(kReferenceAlphabet, c);
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++pad;
      } else if (at == nullptr || c == '\0' || pad != 0) {
        return false;
      }
      v = (v << 6) | (at == nullptr ? 0u : static_cast<uint32_t>(at - kReferenceAlphabet));
    }
    out.push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

// Lines of 72 characters, each ended by CR LF; the last line may be shorter, and
// a non-zero multiple of 54 bytes adds an empty line at the end.
void ExpectLineStructure(const std::string& text, size_t source_length) {
  ASSERT_GE(text.size(), 2u);
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  const std::string stripped = Strip(text);
  ASSERT_EQ(stripped.size(), 4 * ((source_length + 2) / 3));
  const size_t full_lines = source_length / 54;
  const bool trailing_empty = source_length != 0 && source_length % 54 == 0;
  ASSERT_EQ(lines.size(), full_lines + 1);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i < full_lines) {
      EXPECT_EQ(lines[i].size(), 72u) << "line " << i;
    } else {
      const size_t last = trailing_empty ? 0 : stripped.size() - 72 * full_lines;
      EXPECT_EQ(lines[i].size(), last) << "last line";
    }
    EXPECT_EQ(lines[i].find('\r'), std::string::npos);
    EXPECT_EQ(lines[i].find('\n'), std::string::npos);
  }
}

struct Vector {
  const char* plain;
  const char* encoded;
};

// RFC 4648, section 10.
constexpr Vector kRfc4648[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Base64Encode, StandardVectorsOnOneLine) {
  for (const Vector& v : kRfc4648) {
    const Encoded out = Encode(Bytes(v.plain), 0);
    EXPECT_EQ(out.text, v.encoded) << v.plain;
    EXPECT_EQ(out.result, -static_cast<int32_t>(std::strlen(v.encoded))) << v.plain;
  }
}

TEST(Base64Encode, OneTwoOrThreeBytesGiveFourCharacters) {
  EXPECT_EQ(Encode(Bytes("a"), 0).result, -4);
  EXPECT_EQ(Encode(Bytes("a"), 0).text, "YQ==");
  EXPECT_EQ(Encode(Bytes("ab"), 0).text, "YWI=");
  EXPECT_EQ(Encode(Bytes("abc"), 0).text, "YWJj");
  EXPECT_EQ(Encode(Bytes("abc"), 0).result, -4);
}

TEST(Base64Encode, LengthZeroMeansUpToTheFirstNul) {
  const uint8_t source[] = {'f', 'o', 'o', 0, 'b', 'a', 'r', 0};
  Guarded destination(5);
  EXPECT_EQ(EncodeBase64(destination.data(), source, 0, 0), -4);
  EXPECT_EQ(destination.text(), "Zm9v");
  EXPECT_EQ(destination.Damage(), "");
}

TEST(Base64Encode, EmptySourceGivesAnEmptyTextOrJustALineBreak) {
  const uint8_t source[] = {0, 'x', 'y'};
  Guarded plain(1, 'Q');
  EXPECT_EQ(EncodeBase64(plain.data(), source, 0, 0), 0);
  EXPECT_EQ(plain.head(1), std::vector<uint8_t>{0}) << "just the NUL";
  EXPECT_EQ(plain.Damage(), "");

  Guarded broken(3, 'Q');
  EXPECT_EQ(EncodeBase64(broken.data(), source, 0, 1), -2);
  EXPECT_EQ(broken.text(), "\r\n");
  EXPECT_EQ(broken.Damage(), "");
}

TEST(Base64Encode, AnExplicitLengthEncodesZeroBytesToo) {
  const uint8_t source[] = {'A', 'B', 0, 'C', 'D', 0xFF};
  Guarded destination(9);
  EXPECT_EQ(EncodeBase64(destination.data(), source, 5, 0), -8);
  // Python: base64.b64encode(b"AB\0CD")
  EXPECT_EQ(destination.text(), "QUIAQ0Q=");
  EXPECT_EQ(destination.Damage(), "");
}

// Expected texts from Python: base64.b64encode(bytes(range(n))).
constexpr char kFirst72[] =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1";

// 53 bytes make one padded line, 54 end with an empty line, 55 start a second
// line, 108 make two lines and an empty one.
TEST(Base64Encode, LinesOf72CharactersAndTheEmptyLineAfterAMultipleOf54Bytes) {
  const std::string first = std::string(kFirst72) + "\r\n";
  const struct {
    size_t bytes;
    int32_t result;
    std::string text;
  } cases[] = {
      {53, -74, "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ=\r\n"},
      {54, -76, first + "\r\n"},
      {55, -80, first + "Ng==\r\n"},
      {108, -150,
       first + "Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWpr\r\n\r\n"},
  };
  for (const auto& c : cases) {
    const Encoded out = Encode(Counting(c.bytes), 1);
    EXPECT_EQ(out.result, c.result) << c.bytes << " bytes";
    EXPECT_EQ(out.text, c.text) << c.bytes << " bytes";
  }
}

TEST(Base64Encode, OnlyLineModeOneBreaksLines) {
  const std::vector<uint8_t> source = Counting(200);
  for (int32_t mode : {0, 2, -1, 3, INT32_MIN}) {
    const Encoded out = Encode(source, mode);
    EXPECT_EQ(out.result, -268) << mode;
    EXPECT_EQ(out.text.find_first_of("\r\n"), std::string::npos) << mode;
  }
}

TEST(Base64Encode, LeavesTheSourceAndWhatFollowsItUnchanged) {
  std::vector<uint8_t> memory = Counting(64);
  const std::vector<uint8_t> before = memory;
  Guarded destination(64);
  EXPECT_EQ(EncodeBase64(destination.data(), memory.data(), 40, 1), -58);
  EXPECT_EQ(memory, before);
}

TEST(Base64Encode, TheDestinationMayBeTheSource) {
  for (int32_t mode : {0, 1}) {
    for (size_t n : {1u, 2u, 3u, 53u, 54u, 100u}) {
      const std::vector<uint8_t> source = Counting(n);
      const Encoded separate = Encode(source, mode);
      std::vector<uint8_t> variable(separate.text.size() + 1, 0x77);
      std::memcpy(variable.data(), source.data(), n);
      EXPECT_EQ(EncodeBase64(variable.data(), variable.data(), static_cast<uint32_t>(n), mode),
                separate.result);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(variable.data())), separate.text)
          << n << " bytes, mode " << mode;
    }
  }
}

TEST(Base64Encode, TextLengthMatchesTheFormula) {
  EXPECT_EQ(EncodedBase64Length(0, 0), 0u);
  EXPECT_EQ(EncodedBase64Length(0, 1), 2u);
  EXPECT_EQ(EncodedBase64Length(1, 0), 4u);
  EXPECT_EQ(EncodedBase64Length(53, 1), 74u);
  EXPECT_EQ(EncodedBase64Length(54, 1), 76u);
  EXPECT_EQ(EncodedBase64Length(55, 1), 80u);
  EXPECT_EQ(EncodedBase64Length(108, 1), 150u);
  EXPECT_EQ(EncodedBase64Length(108, 2), 144u);
  // The largest sources whose texts still fit the buffer (computed in Python).
  EXPECT_EQ(EncodedBase64Length(805306365, 0), kMaxBase64Text - 2);
  EXPECT_GT(EncodedBase64Length(805306366, 0), kMaxBase64Text);
  EXPECT_EQ(EncodedBase64Length(783541329, 1), kMaxBase64Text);
  EXPECT_GT(EncodedBase64Length(783541330, 1), kMaxBase64Text);
}

// The source is 4 real bytes: under the address sanitizer any read of the claimed
// length would fault, so a clean 0 shows the size was checked first. The refusal
// leaves the empty text: a NUL at the first byte and nothing else changed.
TEST(Base64Encode, RefusesATooLongTextBeforeReadingTheSource) {
  const uint8_t source[4] = {1, 2, 3, 4};
  std::vector<uint8_t> empty_text(8, 0x5C);
  empty_text[0] = 0;
  for (uint32_t length : {0xC0000000u, 0xFFFFFFFFu, 805306366u}) {
    for (int32_t mode : {0, 1}) {
      Guarded destination(8, 0x5C);
      EXPECT_EQ(EncodeBase64(destination.data(), source, length, mode), 0) << length;
      EXPECT_EQ(destination.head(8), empty_text) << "the empty text alone";
      EXPECT_EQ(destination.Damage(), "");
    }
  }
  Guarded destination(8, 0x5C);
  EXPECT_EQ(EncodeBase64(destination.data(), source, 783541330u, 1), 0);
  EXPECT_EQ(destination.head(8), empty_text);
  EXPECT_EQ(source[0], 1) << "the source is left alone";
}

TEST(Base64Decode, StandardVectors) {
  for (const Vector& v : kRfc4648) {
    const size_t n = std::strlen(v.plain);
    const Decoded out = Decode(v.encoded, n);
    EXPECT_EQ(out.result, -static_cast<int32_t>(n)) << v.encoded;
    EXPECT_EQ(out.bytes, Bytes(v.plain)) << v.encoded;
  }
}


TEST(Base64Decode, LineBreaksInsideAGroupAreSkipped) {
  for (const char* text :
       {"Zm\r\n9v", "Zm\n9v", "Zm\r9v", "\r\nZm9v", "Z\nm\n9\nv", "Zm9v\r\nYmFy"}) {
    const std::string expected = std::strcmp(text, "Zm9v\r\nYmFy") == 0 ? "foobar" : "foo";
    const Decoded out = Decode(text, expected.size());
    EXPECT_EQ(out.result, -static_cast<int32_t>(expected.size())) << text;
    EXPECT_EQ(out.bytes, Bytes(expected)) << text;
  }
}

TEST(Base64Decode, TrailingLineBreaksAreTrimmedInTheSource) {
  char text[] = "Zm9v\r\n\n\r";
  Guarded destination(3);
  EXPECT_EQ(DecodeBase64(destination.data(), text), -3);
  EXPECT_EQ(destination.head(3), Bytes("foo"));
  EXPECT_STREQ(text, "Zm9v");
  for (size_t i = 4; i < 8; ++i) EXPECT_EQ(text[i], '\0') << i;
}

TEST(Base64Decode, EmptyOrLineBreakOnlySourceLeavesTheDestinationAlone) {
  char empty[] = "";
  Guarded destination(4, 0x3C);
  EXPECT_EQ(DecodeBase64(destination.data(), empty), 0);
  EXPECT_EQ(destination.head(4), std::vector<uint8_t>(4, 0x3C));

  char breaks[] = "\r\n\n\r\r";
  EXPECT_EQ(DecodeBase64(destination.data(), breaks), 0);
  EXPECT_EQ(destination.head(4), std::vector<uint8_t>(4, 0x3C));
  for (char c : breaks) EXPECT_EQ(c, '\0') << "the source is empty afterwards";
  EXPECT_EQ(destination.Damage(), "");
}

// The count and the bytes of padded and lenient texts (bytes of the lenient ones
// from a Python model of these rules; none given: the count alone is held to).
TEST(Base64Decode, PaddingAndTheLenientRules) {
  const struct {
    const char* text;
    int32_t result;
    std::vector<uint8_t> bytes;
    const char* rule;
  } cases[] = {
      {"QUJD", -3, Bytes("ABC"), "padding sets the count of the last group"},
      {"QQ==", -1, Bytes("A"), "padding sets the count of the last group"},
      {"QUI=", -2, Bytes("AB"), "padding sets the count of the last group"},
      {"QUJDR", -6, {0x41, 0x42, 0x43, 0x00, 0x00, 0x11}, "a short last group is not shifted into place"},
      {"Zg==Zm8=", -5, {0x66, 0x40, 0xBF, 0x66, 0x6F}, "an '=' inside joined texts counts 255"},
      {"QU JD", -6, {0x41, 0x7F, 0xC9, 0x00, 0x00, 0x03}, "spaces are not skipped"},
      {"=", -2, {0x00, 0x00}, "'=' alone: one short group of 3 bytes, less one"},
      {"QUJDQU=B", -5, {}, "an '=' second to last with a letter after it takes one byte off"},
      {"==", -1, {}, "each of the last two '=' is tested on its own"},
      // 'P' and 'M' leave 15 and 12 in the low four bits: the two 255s carry one in.
      {"AP==", -1, {0x01}, "non-zero bits before double padding carry into the byte"},
      {"AM==", -1, {0x01}, "non-zero bits before double padding carry into the byte"},
      {"AL==", -1, {0x00}, "non-zero bits before double padding carry into the byte"},
  };
  for (const auto& c : cases) {
    const Decoded out = Decode(c.text, static_cast<size_t>(-c.result));
    EXPECT_EQ(out.result, c.result) << c.text << ": " << c.rule;
    if (!c.bytes.empty()) {
      EXPECT_EQ(out.bytes, c.bytes) << c.text << ": " << c.rule;
    }
  }
}

TEST(Base64Decode, TheDestinationMayBeTheSource) {
  char text[] = "Zm9vYmFy\r\n";
  EXPECT_EQ(DecodeBase64(reinterpret_cast<uint8_t*>(text), text), -6);
  EXPECT_EQ(std::string(text, 6), "foobar");
}

// Heap blocks of exactly the text and its NUL: the address sanitizer faults on
// any read past the NUL.
TEST(Base64Decode, NeverReadsPastTheNul) {
  for (const char* literal : {"Q", "QU", "QUJ", "QUJDR", "Q\r\n", "QU\r\nJ", "====", "\r"}) {
    const size_t size = std::strlen(literal) + 1;
    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), literal, size);
    Guarded destination(3 * size);
    DecodeBase64(destination.data(), text.get());
    EXPECT_EQ(destination.Damage(), "") << literal;
  }
}

TEST(Base64Decode, WritesNoMoreThanThreeBytesPerStartedGroup) {
  std::mt19937 rng(7);
  const std::string pool = "AZaz09+/= \r\n\x80!";
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 40, 'A');
    for (char& c : text) c = pool[rng() % pool.size()];
    size_t len = text.size();
    while (len > 0 && (text[len - 1] == '\r' || text[len - 1] == '\n')) --len;
    const size_t room = 3 * ((len + 3) / 4);
    Guarded destination(room);
    std::vector<char> source(text.begin(), text.end());
    source.push_back('\0');
    const int32_t result = DecodeBase64(destination.data(), source.data());
    EXPECT_LE(result, 0);
    EXPECT_LE(static_cast<size_t>(-static_cast<int64_t>(result)), room) << text;
    EXPECT_EQ(destination.Damage(), "") << text;
  }
}

void RoundTrip(const std::vector<uint8_t>& source, int32_t mode) {
  const Encoded encoded = Encode(source, mode);
  ASSERT_EQ(encoded.result, -static_cast<int32_t>(encoded.text.size()));
  const Decoded decoded = Decode(encoded.text, source.size());
  ASSERT_EQ(decoded.result, -static_cast<int32_t>(source.size())) << source.size() << " bytes";
  ASSERT_EQ(decoded.bytes, source) << source.size() << " bytes, mode " << mode;
}

TEST(Base64RoundTrip, EveryLengthUpTo300) {
  std::mt19937 rng(300);
  for (size_t n = 0; n <= 300; ++n) {
    const std::vector<uint8_t> source = RandomBytes(rng, n);
    for (int32_t mode : {0, 1, 2}) RoundTrip(source, mode);
  }
}

TEST(Base64RoundTrip, RandomLengthsUpToOneMegabyte) {
  std::mt19937 rng(20240501);
  std::vector<size_t> lengths = {1u << 20, (1u << 20) - 1, 54u * 1000u};
  for (int i = 0; i < 6; ++i) lengths.push_back(rng() % ((1u << 20) + 1));
  for (size_t n : lengths) {
    const std::vector<uint8_t> source = RandomBytes(rng, n);
    RoundTrip(source, 0);
    RoundTrip(source, 1);
  }
}

TEST(Base64Reference, EncoderAgreesWithATextbookCodec) {
  std::mt19937 rng(4648);
  for (int round = 0; round < 400; ++round) {
    const std::vector<uint8_t> source = RandomBytes(rng, rng() % 1200);
    const std::string expected = ReferenceEncode(source);
    EXPECT_EQ(Encode(source, 0).text, expected) << source.size();
    const Encoded broken = Encode(source, 1);
    EXPECT_EQ(Strip(broken.text), expected) << source.size();
    ExpectLineStructure(broken.text, source.size());
    std::vector<uint8_t> back;
    ASSERT_TRUE(ReferenceDecode(Strip(broken.text), back)) << "not strict Base64";
    EXPECT_EQ(back, source);
  }
}

TEST(Base64Reference, DecoderAgreesWithATextbookCodec) {
  std::mt19937 rng(1987);
  for (int round = 0; round < 400; ++round) {
    const std::vector<uint8_t> source = RandomBytes(rng, rng() % 1200);
    std::string text = ReferenceEncode(source);
    // CR and LF anywhere but between two trailing '=' signs.
    for (int k = static_cast<int>(rng() % 6); k > 0 && text.size() > 1; --k) {
      const size_t at = rng() % (text.size() - 1);
      text.insert(at, rng() % 2 ? "\r\n" : "\n");
    }
    const Decoded out = Decode(text, source.size());
    EXPECT_EQ(out.result, -static_cast<int32_t>(source.size())) << text;
    EXPECT_EQ(out.bytes, source) << text;
  }
}

}  // namespace
}  // namespace telvarn
