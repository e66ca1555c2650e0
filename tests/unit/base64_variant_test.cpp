// Every Base64 kernel this processor can run, forced one by one: known answers, then random
// sources and texts against the portable reference.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/base64_private.h"
#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace telvarn {
namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 80;

// Runs an encoder into a block with guards on both sides; the text as a string.
std::string Encode(Base64EncodeFn encode, const uint8_t* source, size_t count, bool lines) {
  const size_t size = static_cast<size_t>(EncodedBase64Length(count, lines ? 1 : 0));
  std::vector<uint8_t> block(size + 2 * kGuardBytes, kGuard);
  encode(reinterpret_cast<char*>(block.data() + kGuardBytes), source, count, lines);
  for (size_t i = 0; i < kGuardBytes; ++i) {
    EXPECT_EQ(block[i], kGuard) << "written before the text";
    EXPECT_EQ(block[kGuardBytes + size + i], kGuard) << "written past the text";
  }
  return std::string(block.begin() + kGuardBytes, block.begin() + static_cast<std::ptrdiff_t>(kGuardBytes + size));
}

// Runs a decoder on a trimmed text held in a block of its own (so that the address
// sanitizer sees a read past it), into a guarded destination.
std::vector<uint8_t> Decode(Base64DecodeFn decode, const std::string& text) {
  std::unique_ptr<char[]> held(new char[text.size()]);
  std::memcpy(held.get(), text.data(), text.size());
  const uint32_t drop = (text.back() == '=' ? 1u : 0u) +
                        (text.size() >= 2 && text[text.size() - 2] == '=' ? 1u : 0u);
  const size_t room = 3 * ((text.size() + 3) / 4);
  std::vector<uint8_t> block(room + 2 * kGuardBytes, kGuard);
  const size_t count = decode(block.data() + kGuardBytes, held.get(), text.size(), drop);
  EXPECT_LE(count, room);
  for (size_t i = 0; i < kGuardBytes; ++i) {
    EXPECT_EQ(block[i], kGuard) << "written before the bytes";
  }
  for (size_t i = kGuardBytes + count; i < block.size(); ++i) {
    EXPECT_EQ(block[i], kGuard) << "written past the bytes";
  }
  return std::vector<uint8_t>(block.begin() + kGuardBytes,
                              block.begin() + static_cast<std::ptrdiff_t>(kGuardBytes + count));
}

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
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
  const Base64EncodeVariant& reference = *Base64EncodeVariants().begin();
  std::mt19937 random(6400);
  const std::vector<uint8_t> pool = RandomBytes(random, 5000 + 64);
  for (const Base64EncodeVariant& variant : Base64EncodeVariants()) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant("base64-encode", variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("encoder ") + variant.name);
    EXPECT_EQ(Encode(variant.compress, Bytes("foobar").data(), 6, false), "Zm9vYmFy");
    EXPECT_EQ(Encode(variant.compress, Bytes("fooba").data(), 5, true), "Zm9vYmE=\r\n");
    // Every length around the steps (12 to 48 bytes) and a line (54), then random ones.
    for (size_t round = 0; round < 600; ++round) {
      const size_t count = round < 300 ? round : random() % 5000;
      const uint8_t* source = pool.data() + round % 64;
      for (bool lines : {false, true}) {
        ASSERT_EQ(Encode(variant.compress, source, count, lines),
                  Encode(reference.compress, source, count, lines))
            << count << " bytes, lines " << lines;
      }
    }
  }
}

TEST(Base64Kernels, EveryDecoderAgreesWithThePortableOne) {
  const Base64DecodeVariant& reference = *Base64DecodeVariants().begin();
  for (const Base64DecodeVariant& variant : Base64DecodeVariants()) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant("base64-decode", variant.name, supported);
    if (!supported) continue;
    SCOPED_TRACE(std::string("decoder ") + variant.name);
    EXPECT_EQ(Decode(variant.compress, "Zm9vYmE="), Bytes("fooba"));
    EXPECT_EQ(Decode(variant.compress, "QU JD"),
              (std::vector<uint8_t>{0x41, 0x7F, 0xC9, 0x00, 0x00, 0x03}));
    std::mt19937 random(1345);
    for (int round = 0; round < 1500; ++round) {
      const size_t length = round < 300 ? 1 + static_cast<size_t>(round) : 1 + random() % 9000;
      const std::string text = RandomText(random, length);
      ASSERT_EQ(Decode(variant.compress, text), Decode(reference.compress, text)) << text;
    }
  }
}

// Encoder output, broken into lines, decodes back through every decoder; a chunk
// border of the SIMD decoders falls inside these texts.
TEST(Base64Kernels, EveryDecoderReadsEveryEncodersText) {
  std::mt19937 random(2700);
  for (const Base64EncodeVariant& encoder : Base64EncodeVariants()) {
    if (!encoder.supported(GetCpuFeatures())) continue;
    for (const Base64DecodeVariant& decoder : Base64DecodeVariants()) {
      if (!decoder.supported(GetCpuFeatures())) continue;
      SCOPED_TRACE(std::string(encoder.name) + " to " + decoder.name);
      for (int round = 0; round < 20; ++round) {
        const std::vector<uint8_t> source = RandomBytes(random, 1 + random() % 20000);
        std::string text = Encode(encoder.compress, source.data(), source.size(), round % 2 == 1);
        while (text.back() == '\r' || text.back() == '\n') text.pop_back();
        ASSERT_EQ(Decode(decoder.compress, text), source) << source.size() << " bytes";
      }
    }
  }
}

#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
// The DLL's NUL scan reads aligned 16-byte blocks: it must find the NUL at every
// offset and alignment, and never fault on a text that ends at the last byte
// before an inaccessible page.
TEST(Base64Kernels, TheVectorNulScanFindsEveryNulAndStaysOnItsPage) {
  if (!GetCpuFeatures().sse2) GTEST_SKIP() << "no SSE2";
  const size_t page = 4096;
  auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old_protection;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old_protection));
  std::memset(pages, 'A', page);
  for (size_t length = 0; length < 100; ++length) {
    for (size_t end = page - 1; end + 40 > page; --end) {
      if (end < length) continue;
      char* text = pages + end - length;
      text[length] = '\0';
      ASSERT_EQ(base64_internal::TextLengthSse2(text), length) << "text ending at " << end;
      text[length] = 'A';
    }
  }
  VirtualFree(pages, 0, MEM_RELEASE);
}
#endif

}  // namespace
}  // namespace telvarn
