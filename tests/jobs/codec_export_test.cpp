// Base64 and RSA key import through the exports, the RSA key then keying the HMAC jobs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "digest/hmac.h"
#include "jobs/api.h"
#include "jobs/job_kinds.h"

namespace telvarn::test {
namespace {

class CodecExports : public ExportTest {};

TEST_F(CodecExports, Base64BothWaysWithSentinels) {
  char text[32];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(api.base64_encode(text, "foobar", 0, TELVARN_BASE64_ONE_LINE), -8);
  EXPECT_STREQ(text, "Zm9vYmFy");
  EXPECT_EQ(text[9], '#') << "nothing past the NUL";

  char bytes[16];
  std::memset(bytes, '#', sizeof bytes);
  char source[] = "Zm9vYg==\r\n";
  EXPECT_EQ(api.base64_decode(bytes, source, 0, 0), -4);
  EXPECT_EQ(std::string(bytes, 5), "foob#");
  EXPECT_STREQ(source, "Zm9vYg==") << "the trailing CR LF is trimmed in place";

  char shared[64] = "any carnal pleasure";
  EXPECT_EQ(api.base64_encode(shared, shared, 0, TELVARN_BASE64_LINES), -30);
  EXPECT_STREQ(shared, "YW55IGNhcm5hbCBwbGVhc3VyZQ==\r\n") << "the destination may be the source";
  EXPECT_EQ(api.base64_decode(shared, shared, 0, 0), -19);
  EXPECT_EQ(std::string(shared, 19), "any carnal pleasure");
}

// HMAC-MD5 of the message under the key's bytes, NUL included where the key holds one.
std::string Hmac(const std::string& key, const std::string& message) {
  HmacMd5 hmac;
  hmac.SetKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
  hmac.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  return hmac.HexDigest();
}

// The text length the encoder gives for n bytes, worked out here rather than asked
// of the encoder's own sizing: four characters per started group of three bytes,
// and in line mode 1 a CR LF after every 72 characters and at the end.
int32_t TextLength(size_t n, int32_t line_mode) {
  return static_cast<int32_t>(4 * ((n + 2) / 3) + (line_mode == 1 ? 2 * (n / 54 + 1) : 0));
}

// The encoder's text of every length from 1 to 10,000 bytes, with and without
// line breaks, decoded with the text's own variable as the destination.
TEST_F(CodecExports, Base64DecodesEveryEncoderTextInPlace) {
  constexpr size_t kLongest = 10000;
  const std::vector<uint8_t> source = RandomBytes(10000, kLongest);
  std::vector<char> variable(static_cast<size_t>(TextLength(kLongest, 1)) + 1);
  for (int32_t line_mode : {TELVARN_BASE64_ONE_LINE, TELVARN_BASE64_LINES}) {
    for (size_t n = 1; n <= kLongest; ++n) {
      ASSERT_EQ(api.base64_encode(variable.data(), source.data(), static_cast<uint32_t>(n), line_mode),
                -TextLength(n, line_mode))
          << n << " bytes, line mode " << line_mode;
      ASSERT_EQ(api.base64_decode(variable.data(), variable.data(), 0, 0), -static_cast<int32_t>(n))
          << n << " bytes, line mode " << line_mode;
      ASSERT_EQ(std::memcmp(variable.data(), source.data(), n), 0)
          << n << " bytes, line mode " << line_mode;
    }
  }
}

// A destination below the text, overlapping it, up to 160 bytes down.
TEST_F(CodecExports, Base64DecodesIntoADestinationBelowTheText) {
  for (size_t n : {1u, 55u, 110u, 200u, 1600u}) {
    const std::vector<uint8_t> source = RandomBytes(static_cast<uint32_t>(n), n);
    for (int32_t line_mode : {TELVARN_BASE64_ONE_LINE, TELVARN_BASE64_LINES}) {
      const auto text_size = static_cast<size_t>(TextLength(n, line_mode)) + 1;
      for (size_t shift = 1; shift <= 160; ++shift) {
        std::vector<char> variable(shift + text_size);
        char* text = variable.data() + shift;
        ASSERT_EQ(api.base64_encode(text, source.data(), static_cast<uint32_t>(n), line_mode),
                  -TextLength(n, line_mode));
        ASSERT_EQ(api.base64_decode(variable.data(), text, 0, 0), -static_cast<int32_t>(n))
            << n << " bytes, line mode " << line_mode << ", " << shift << " below";
        ASSERT_EQ(std::memcmp(variable.data(), source.data(), n), 0)
            << n << " bytes, line mode " << line_mode << ", " << shift << " below";
      }
    }
  }
}

// The length is checked before a source byte is read, so 4 real bytes serve.
TEST_F(CodecExports, Base64EncodeRefusalLeavesTheEmptyText) {
  const uint8_t source[4] = {1, 2, 3, 4};
  for (int32_t line_mode : {TELVARN_BASE64_ONE_LINE, TELVARN_BASE64_LINES}) {
    char text[8];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(api.base64_encode(text, source, 0xC0000000u, line_mode), 0);
    EXPECT_EQ(std::string(text, sizeof text), std::string("\0#######", 8))
        << "a NUL at the destination and nothing more";
  }
}

// Host threads encode, decode and import keys at once, each into memory and an IO
// of its own, from the process's first Base64 call on (each test runs in a
// process of its own, so the kernels are chosen while the threads contend).
TEST_F(CodecExports, Base64AndRsaKeyExportsFromSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::vector<int32_t> ios;
  for (int t = 0; t < kThreads; ++t) ios.push_back(NewIo());
  std::vector<std::string> failures(kThreads);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::vector<uint8_t> source = RandomBytes(static_cast<uint32_t>(t + 1), 3000);
      std::vector<char> text(static_cast<size_t>(TextLength(source.size(), TELVARN_BASE64_LINES)) + 1);
      std::string& failure = failures[static_cast<size_t>(t)];
      --waiting;
      while (waiting.load() != 0) std::this_thread::yield();
      for (int round = 0; round < kRounds && failure.empty(); ++round) {
        const size_t n = 1 + static_cast<size_t>(round * 37 + t) % source.size();
        const int32_t line_mode = round % 2 == 0 ? TELVARN_BASE64_ONE_LINE : TELVARN_BASE64_LINES;
        if (api.base64_encode(text.data(), source.data(), static_cast<uint32_t>(n), line_mode) !=
            -TextLength(n, line_mode)) {
          failure = "encoding " + std::to_string(n) + " bytes";
        } else if (api.base64_decode(text.data(), text.data(), 0, 0) != -static_cast<int32_t>(n) ||
                   std::memcmp(text.data(), source.data(), n) != 0) {
          failure = "decoding " + std::to_string(n) + " bytes in place";
        }
        char key[] = "&AQID";
        TelvarnVarDesc var = HostVar(key);
        if (failure.empty() && api.rsa_key_set(&var, ios[static_cast<size_t>(t)], 0, 0) != -1) {
          failure = "importing a key";
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[static_cast<size_t>(t)], "") << "thread " << t;
    EXPECT_EQ(RunNow(api.md5_key, ios[static_cast<size_t>(t)], "signed text", 39), Hmac("010203", "signed text"))
        << "thread " << t << "'s IO";
  }
}

TEST_F(CodecExports, RsaKeyImportKeysTheHmacJobs) {
  const int32_t io = NewIo();
  // "&" + Base64 of the bytes 01 02 03, then at 16 bytes (4 words) "#" + Base64 of "foo".
  char record[32] = {};
  std::memcpy(record, "&AQID\r\n", 7);
  std::memcpy(record + 16, "#Zm9v", 5);
  TelvarnVarDesc var{};
  var.data = record;
  var.stride_words = 4;
  EXPECT_EQ(api.rsa_key_set(&var, io, 0, 0), -3);
  EXPECT_EQ(std::string(record, 7), std::string("&AQID\0\0", 7)) << "trimmed in the variable";
  EXPECT_EQ(api.rsa_key_set(&var, -31000, 0, 0), -1) << "absent IO";

  std::string key_area = "010203";
  key_area.resize(4096, '\0');
  for (const JobUnderTest& job : KeyedJobs(api)) {
    EXPECT_EQ(RunNow(job.run, io, "signed text"), job.reference(key_area, "signed text"))
        << job.name << ": the first section's hexadecimal text is the key";
  }
}

// A first section that does not fit its room replaces the key before it with the
// empty key, alone and in front of a second section.
TEST_F(CodecExports, ARefusedFirstSectionLeavesTheEmptyKey) {
  const int32_t io = NewIo();
  const std::string message = "signed text";
  for (bool with_second : {false, true}) {
    SCOPED_TRACE(with_second ? "with a second section" : "alone");
    char short_key[] = "&AQID";
    EXPECT_EQ(api.rsa_key_set(Var(short_key), io, 0, 0), -1);
    ASSERT_EQ(RunNow(api.md5_key, io, message.c_str(), 39), Hmac("010203", message));

    // 2048 bytes need 4096 digits and a NUL; 600 fit alone, not before a second.
    const size_t n = with_second ? 600 : 2048;
    const std::vector<uint8_t> bytes = RandomBytes(2048, n);
    const int32_t stride_words = 1024;
    std::vector<char> record(4 * stride_words + 8, '\0');
    record[0] = '&';
    ASSERT_EQ(api.base64_encode(record.data() + 1, bytes.data(), static_cast<uint32_t>(n), TELVARN_BASE64_LINES),
              -TextLength(n, TELVARN_BASE64_LINES));
    if (with_second) std::memcpy(record.data() + 4 * stride_words, "#Zm9v", 5);
    TelvarnVarDesc var = HostVar(record.data(), stride_words);
    EXPECT_EQ(api.rsa_key_set(&var, io, 0, 0), with_second ? -2 : 0) << "refused, not counted";
    EXPECT_EQ(RunNow(api.md5_key, io, message.c_str(), 39), Hmac("", message)) << "the empty key, not the old one";
  }
}

}  // namespace
}  // namespace telvarn::test
