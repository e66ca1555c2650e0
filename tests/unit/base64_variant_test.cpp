// Every Base64 kernel this processor runs, one by one, against the portable one: apart, in place, shifted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/base64_private.h"
#include "support/guarded_buffer.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using test::RandomBytes;

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 80;

// Runs an encoder into a block with guards on both sides; the text as a string.
std::string Encode(Base64EncodeFn encode, const uint8_t* source, size_t count, bool lines) {
  const size_t size = static_cast<size_t>(EncodedBase64Length(count, lines ? 1 : 0));
  test::GuardedBuffer block(size, kGuardBytes, kGuard, kGuard);
  encode(block.chars(), source, count, lines);
  EXPECT_EQ(block.Damage(), "");
  return std::string(block.chars(), size);
}

// Runs a decoder on the trimmed text of `length` characters at `held`, which ends
// where its memory ends, into a guarded destination.
std::vector<uint8_t> DecodeHeld(Base64DecodeFn decode, const char* held, size_t length) {
  const uint32_t drop = (held[length - 1] == '=' ? 1u : 0u) + (length >= 2 && held[length - 2] == '=' ? 1u : 0u);
  const size_t room = 3 * ((length + 3) / 4);
  test::GuardedBuffer block(room, kGuardBytes, kGuard, kGuard);
  const size_t count = decode(block.data(), held, length, drop);
  EXPECT_LE(count, room);
  EXPECT_EQ(block.Damage(count), "") << "written past the bytes";
  return block.head(count);
}

// Runs a decoder on a trimmed text held in a block of its own (so that the address
// sanitizer sees a read past it), into a guarded destination.
std::vector<uint8_t> Decode(Base64DecodeFn decode, const std::string& text) {
  std::unique_ptr<char[]> held(new char[text.size()]);
  std::memcpy(held.get(), text.data(), text.size());
  return DecodeHeld(decode, held.get(), text.size());
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Mostly alphabet, with line breaks, '=', spaces and other bytes (never NUL) at
// random places, at a random density; lined texts too. Trimmed as the decoder's
// caller trims, and never empty.
std::string RandomText(std::mt19937& random, size_t length) {
  std::string text;
  const auto odd_per_mille = random() % 4 == 0 ? 0 : random() % 200;
  const size_t line = random() % 3 == 0 ? 64 + 4 * (random() % 5) : 0;
  for (size_t i = 0; i < length; ++i) {
    if (line != 0 && i % (line + 2) == line) {
      text += "\r\n";
      ++i;
      continue;
    }
    if (random() % 1000 < odd_per_mille) {
      static constexpr char kOdd[] = {'\r', '\n', '=', ' ', '\t', '-', '_', '\x80', '\xff', '\x01', '.'};
      text += kOdd[random() % sizeof kOdd];
    } else {
      text += kAlphabet[random() % 64];
    }
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  if (text.empty()) text = "Q";
  return text;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Base64Kernels, EveryEncoderAgreesWithThePortableOne) {
  const Base64EncodeVariant& reference = *kBase64EncodeKernels.begin();
  std::mt19937 random(6400);
  const std::vector<uint8_t> pool = RandomBytes(random, 5000 + 64);
  for (const Base64EncodeVariant& variant : kBase64EncodeKernels) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant(kBase64EncodeKernels.name, variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("encoder ") + variant.name);
    EXPECT_EQ(Encode(variant.kernel, Bytes("foobar").data(), 6, false), "Zm9vYmFy");
    EXPECT_EQ(Encode(variant.kernel, Bytes("fooba").data(), 5, true), "Zm9vYmE=\r\n");
    // Every length around the steps (12 to 48 bytes) and a line (54), then random ones.
    for (size_t round = 0; round < 600; ++round) {
      const size_t count = round < 300 ? round : random() % 5000;
      const uint8_t* source = pool.data() + round % 64;
      for (bool lines : {false, true}) {
        ASSERT_EQ(Encode(variant.kernel, source, count, lines),
                  Encode(reference.kernel, source, count, lines))
            << count << " bytes, lines " << lines;
      }
    }
  }
}

TEST(Base64Kernels, EveryDecoderAgreesWithThePortableOne) {
  const Base64DecodeVariant& reference = *kBase64DecodeKernels.begin();
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant(kBase64DecodeKernels.name, variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    EXPECT_EQ(Decode(variant.kernel, "Zm9vYmE="), Bytes("fooba"));
    EXPECT_EQ(Decode(variant.kernel, "QU JD"),
              (std::vector<uint8_t>{0x41, 0x7F, 0xC9, 0x00, 0x00, 0x03}));
    std::mt19937 random(1345);
    for (int round = 0; round < 1500; ++round) {
      const size_t length = round < 300 ? 1 + static_cast<size_t>(round) : 1 + random() % 9000;
      const std::string text = RandomText(random, length);
      ASSERT_EQ(Decode(variant.kernel, text), Decode(reference.kernel, text)) << text;
    }
  }
}

// Encoder output, broken into lines, decodes back through every decoder; a chunk
// border of the SIMD decoders falls inside these texts.
TEST(Base64Kernels, EveryDecoderReadsEveryEncodersText) {
  std::mt19937 random(2700);
  for (const Base64EncodeVariant& encoder : kBase64EncodeKernels) {
    if (!encoder.supported(GetCpuFeatures())) continue;
    for (const Base64DecodeVariant& decoder : kBase64DecodeKernels) {
      if (!decoder.supported(GetCpuFeatures())) continue;
      SCOPED_TRACE(std::string(encoder.name) + " to " + decoder.name);
      for (int round = 0; round < 20; ++round) {
        const std::vector<uint8_t> source = RandomBytes(random, 1 + random() % 20000);
        std::string text = Encode(encoder.kernel, source.data(), source.size(), round % 2 == 1);
        while (text.back() == '\r' || text.back() == '\n') text.pop_back();
        ASSERT_EQ(Decode(decoder.kernel, text), source) << source.size() << " bytes";
      }
    }
  }
}

// Destinations relative to the source's start: the source itself and every shift
// down to 160 bytes below it, where the kernels write straight over the text; and
// shifts up to 160 bytes above it, which all take the same path through a block
// of their own, so a sample of them.
std::vector<ptrdiff_t> Shifts() {
  std::vector<ptrdiff_t> shifts;
  for (ptrdiff_t shift = -160; shift <= 16; ++shift) shifts.push_back(shift);
  for (ptrdiff_t shift = 25; shift <= 160; shift += 9) shifts.push_back(shift);
  return shifts;
}

// Source lengths whose texts run from empty to several lines: every length through
// the first line and a little past it, every one around the second line's end,
// then every eleventh, and texts long enough to cross the SIMD decoders'
// 2048-character chunk.
std::vector<size_t> PlacementLengths() {
  constexpr size_t kLine = base64_internal::kLineBytes;
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= kLine + 8; ++n) lengths.push_back(n);
  for (size_t n = 2 * kLine - 4; n <= 2 * kLine + 8; ++n) lengths.push_back(n);
  for (size_t n = 2 * kLine + 19; n <= 8 * kLine; n += 11) lengths.push_back(n);
  for (size_t n : {1531u, 1566u, 2917u}) lengths.push_back(n);
  return lengths;
}

// The encoder's text as the portable kernel writes it, without the NUL.
std::string PortableText(const std::vector<uint8_t>& source, bool lines) {
  std::string text(static_cast<size_t>(EncodedBase64Length(source.size(), lines ? 1 : 0)), '\0');
  base64_internal::EncodePortable(text.data(), source.data(), source.size(), lines);
  return text;
}

// Encodes `source` through the exports' placement rules with `kernel` into a
// destination `shift` bytes from the source's start (negative: below it), both in
// one block with guards after it; checks the result and the text with its NUL.
void ExpectEncodedAt(Base64EncodeFn kernel, const std::vector<uint8_t>& source, bool lines,
                     ptrdiff_t shift, const std::string& expected) {
  const size_t source_at = shift < 0 ? static_cast<size_t>(-shift) : 0;
  const size_t text_at = shift > 0 ? static_cast<size_t>(shift) : 0;
  // An empty source is passed as length 0, which reads up to the first NUL.
  const size_t source_end = source_at + std::max<size_t>(source.size(), 1);
  const size_t used = std::max(source_end, text_at + expected.size() + 1);
  std::vector<uint8_t> block(used + kGuardBytes, kGuard);
  if (source.empty()) {
    block[source_at] = 0;
  } else {
    std::memcpy(block.data() + source_at, source.data(), source.size());
  }
  const int32_t result = EncodeBase64With(kernel, block.data() + text_at, block.data() + source_at,
                                          static_cast<uint32_t>(source.size()), lines ? 1 : 0);
  ASSERT_EQ(result, -static_cast<int32_t>(expected.size()))
      << source.size() << " bytes, lines " << lines << ", destination at " << shift;
  ASSERT_EQ(std::string(reinterpret_cast<const char*>(block.data() + text_at), expected.size() + 1),
            expected + '\0')
      << source.size() << " bytes, lines " << lines << ", destination at " << shift;
  for (size_t i = used; i < block.size(); ++i) ASSERT_EQ(block[i], kGuard) << "written past the text";
}

// The portable kernel's bytes for a text, decoded into a separate block.
std::vector<uint8_t> PortableBytes(const std::string& text) {
  std::vector<char> held(text.begin(), text.end());
  held.push_back('\0');
  std::vector<uint8_t> bytes(3 * (text.size() / 4 + 1));
  const int32_t result = DecodeBase64With(&base64_internal::DecodePortable, bytes.data(), held.data());
  bytes.resize(static_cast<size_t>(-static_cast<int64_t>(result)));
  return bytes;
}

// Decodes `text` (NUL-terminated here) through the exports' placement rules with
// `kernel` into a destination `shift` bytes from the text's start (negative: below
// it), both in one block with guards after it, or, given `page_end`, in one block
// that ends there; checks the count and the bytes.
void ExpectDecodedAt(Base64DecodeFn kernel, const std::string& text, ptrdiff_t shift,
                     const std::vector<uint8_t>& expected, uint8_t* page_end = nullptr) {
  const size_t text_at = shift < 0 ? static_cast<size_t>(-shift) : 0;
  const size_t bytes_at = shift > 0 ? static_cast<size_t>(shift) : 0;
  const size_t used = std::max(text_at + text.size() + 1, bytes_at + expected.size());
  std::vector<uint8_t> guarded;
  if (page_end == nullptr) guarded.assign(used + kGuardBytes, kGuard);
  uint8_t* block = page_end != nullptr ? page_end - used : guarded.data();
  std::memcpy(block + text_at, text.c_str(), text.size() + 1);
  const int32_t result = DecodeBase64With(kernel, block + bytes_at, reinterpret_cast<char*>(block + text_at));
  ASSERT_EQ(result, -static_cast<int32_t>(expected.size())) << "destination at " << shift << ": " << text;
  ASSERT_EQ(std::vector<uint8_t>(block + bytes_at, block + bytes_at + expected.size()), expected)
      << "destination at " << shift << ": " << text;
  for (size_t i = used; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], kGuard) << "written past the bytes";
}

TEST(Base64Kernels, EveryEncoderGivesThePortableTextAtEveryPlacement) {
  std::mt19937 random(160);
  for (const Base64EncodeVariant& variant : kBase64EncodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("encoder ") + variant.name);
    for (size_t count : PlacementLengths()) {
      std::vector<uint8_t> source = RandomBytes(random, count);
      // A zero first byte would end a source passed as length 0.
      if (count != 0 && source[0] == 0) source[0] = 1;
      for (bool lines : {false, true}) {
        const std::string expected = PortableText(source, lines);
        for (ptrdiff_t shift : Shifts()) {
          ASSERT_NO_FATAL_FAILURE(ExpectEncodedAt(variant.kernel, source, lines, shift, expected));
        }
      }
    }
  }
}

// Encoder texts with and without line breaks, decoded at and below (and, by way of
// the work block, above) their own address, give the bytes that were encoded.
TEST(Base64Kernels, EveryDecoderGivesThePortableBytesOfEncoderTextsAtEveryPlacement) {
  std::mt19937 random(74);
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    for (size_t count : PlacementLengths()) {
      const std::vector<uint8_t> source = RandomBytes(random, count);
      for (bool lines : {false, true}) {
        const std::string text = PortableText(source, lines);
        const std::vector<uint8_t> expected = PortableBytes(text);
        ASSERT_EQ(expected, source) << "the portable kernel reads its own text";
        for (ptrdiff_t shift : Shifts()) {
          ASSERT_NO_FATAL_FAILURE(ExpectDecodedAt(variant.kernel, text, shift, expected));
        }
      }
    }
  }
}

// Texts with line breaks, '=' and other bytes at random places, and lines of other
// widths than the encoder's.
TEST(Base64Kernels, EveryDecoderGivesThePortableBytesOfAnyTextAtEveryPlacement) {
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    std::mt19937 random(1600);
    for (int round = 0; round < 80; ++round) {
      std::string text = RandomText(random, 1 + random() % 600);
      // Trailing breaks are trimmed in place before any decoding.
      if (round % 3 == 0) text += round % 2 == 0 ? "\r\n" : "\n";
      const std::vector<uint8_t> expected = PortableBytes(text);
      for (ptrdiff_t shift : Shifts()) {
        ASSERT_NO_FATAL_FAILURE(ExpectDecodedAt(variant.kernel, text, shift, expected));
      }
    }
  }
}

// Every source length from empty to three lines and a 64-byte block past them, so
// every step's read bound and every line end falls at the end of the source.
constexpr size_t kLongestPageEndSource = 3 * base64_internal::kLineBytes + 64;

// The source ends where an inaccessible page begins, so a kernel that reads one
// byte past it faults; given as its length and, NUL-terminated at the page end,
// as length 0.
TEST(Base64Kernels, EveryEncoderReadsNoByteAfterASourceAtAPageEnd) {
  test::PageEndBuffer buffer(kLongestPageEndSource + 1);
  std::mt19937 random(4096);
  for (const Base64EncodeVariant& variant : kBase64EncodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("encoder ") + variant.name);
    for (size_t count = 0; count <= kLongestPageEndSource; ++count) {
      std::vector<uint8_t> source = RandomBytes(random, count);
      for (auto& b : source) b = b != 0 ? b : 1;
      uint8_t* at_end = buffer.end() - count;
      uint8_t* terminated = buffer.end() - count - 1;
      for (bool lines : {false, true}) {
        const std::string expected = PortableText(source, lines);
        std::copy(source.begin(), source.end(), at_end);
        ASSERT_EQ(Encode(variant.kernel, at_end, count, lines), expected) << count << " bytes, lines " << lines;
        std::copy(source.begin(), source.end(), terminated);
        terminated[count] = 0;
        std::vector<uint8_t> text(expected.size() + 1 + kGuardBytes, kGuard);
        ASSERT_EQ(EncodeBase64With(variant.kernel, text.data(), terminated, 0, lines ? 1 : 0),
                  -static_cast<int32_t>(expected.size()))
            << count << " bytes up to a NUL, lines " << lines;
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(text.data()), expected.size() + 1), expected + '\0');
      }
    }
  }
}

// Trimmed texts of every length through three lines of 72 characters and CR LF
// and two 64-character blocks past them, and around the SIMD decoders'
// 2048-character chunk, cut from lined and unlined encoder text and from random
// text.
std::vector<std::string> PageEndTexts() {
  std::mt19937 random(2048);
  const std::string lined = PortableText(RandomBytes(random, 1700), true);
  const std::string unlined = PortableText(RandomBytes(random, 1700), false);
  const std::string other = RandomText(random, 2200);
  std::vector<std::string> texts;
  const auto add = [&](size_t length) {
    for (const std::string* from : {&lined, &unlined, &other}) {
      std::string text = from->substr(0, length);
      while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
      if (!text.empty()) texts.push_back(text);
    }
  };
  for (size_t length = 1; length <= 3 * (base64_internal::kLineChars + 2) + 128; ++length) add(length);
  for (size_t length = 2000; length <= 2140; ++length) add(length);
  return texts;
}

// The text ends where an inaccessible page begins: handed to the kernel by its
// length, and NUL-terminated at the page end through the exports' placement rules,
// decoded in place and a little below itself.
TEST(Base64Kernels, EveryDecoderReadsNoByteAfterATextAtAPageEnd) {
  const std::vector<std::string> texts = PageEndTexts();
  constexpr size_t kBelow = 80;
  test::PageEndBuffer buffer(2200 + 1 + kBelow);
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    for (const std::string& text : texts) {
      const std::vector<uint8_t> expected = PortableBytes(text);
      char* at_end = reinterpret_cast<char*>(buffer.end()) - text.size();
      std::memcpy(at_end, text.data(), text.size());
      ASSERT_EQ(DecodeHeld(variant.kernel, at_end, text.size()), expected) << text;
      // A short lenient text may decode to more bytes than it has characters: then
      // the bytes, not the NUL, end at the page end.
      for (ptrdiff_t below : {0, 1, static_cast<int>(kBelow)}) {
        ASSERT_NO_FATAL_FAILURE(ExpectDecodedAt(variant.kernel, text, -below, expected, buffer.end()))
            << "at a page end";
      }
    }
  }
}

// A lined encoder text split by a line break at every offset, whichever block,
// line or group position that offset falls on: the break takes no place in a
// group, so each decoder, apart and in place, gives the bytes of the whole.
TEST(Base64Kernels, EveryDecoderSkipsALineBreakAtEveryOffset) {
  std::mt19937 random(7272);
  const std::vector<uint8_t> source = RandomBytes(random, 3 * base64_internal::kLineBytes + 20);
  std::string whole = PortableText(source, true);
  while (whole.back() == '\r' || whole.back() == '\n') whole.pop_back();
  for (const Base64DecodeVariant& variant : kBase64DecodeKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    for (const char* line_break : {"\r\n", "\n", "\r", "\r\n\r\n"}) {
      for (size_t offset = 1; offset < whole.size(); ++offset) {
        const std::string text = whole.substr(0, offset) + line_break + whole.substr(offset);
        ASSERT_EQ(Decode(variant.kernel, text), source) << "break at " << offset;
        ASSERT_NO_FATAL_FAILURE(ExpectDecodedAt(variant.kernel, text, 0, source)) << "break at " << offset;
      }
    }
  }
}

// The NUL scans of the encoder's source and the decoder's text: every length up to
// 100 (six and more vector blocks) at every alignment, the NUL at the last byte
// before an inaccessible page or up to 40 bytes before it, so a scan that reads a
// block past its page faults.
TEST(Base64Kernels, EveryNulScanFindsEveryNulAndStaysOnItsPage) {
  constexpr size_t kLongest = 100;
  constexpr size_t kEndsBeforePage = 40;
  test::PageEndBuffer buffer(kLongest + kEndsBeforePage + 1);
  for (const TextLengthVariant& variant : kTextLengthKernels) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant(kTextLengthKernels.name, variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("scan ") + variant.name);
    std::memset(buffer.end() - (kLongest + kEndsBeforePage + 1), 'A', kLongest + kEndsBeforePage + 1);
    for (size_t length = 0; length <= kLongest; ++length) {
      for (size_t before_end = 0; before_end < kEndsBeforePage; ++before_end) {
        char* nul = reinterpret_cast<char*>(buffer.end()) - 1 - before_end;
        char* text = nul - length;
        *nul = '\0';
        ASSERT_EQ(variant.kernel(text), length) << "NUL " << before_end << " bytes before a page end";
        *nul = 'A';
      }
    }
  }
}

}  // namespace
}  // namespace telvarn
