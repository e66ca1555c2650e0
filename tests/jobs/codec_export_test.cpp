// Base64 and RSA key import through the exports, the RSA key then keying HMAC-MD5.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "digest/hmac_md5.h"
#include "jobs/api.h"

namespace telvarn::test {
namespace {

class CodecExports : public ExportTest {};

TEST_F(CodecExports, Base64BothWaysWithSentinels) {
  char text[32];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(api.base64_encode(text, "foobar", 0, 0), -8);
  EXPECT_STREQ(text, "Zm9vYmFy");
  EXPECT_EQ(text[9], '#') << "nothing past the NUL";

  char bytes[16];
  std::memset(bytes, '#', sizeof bytes);
  char source[] = "Zm9vYg==\r\n";
  EXPECT_EQ(api.base64_decode(bytes, source, 0, 0), -4);
  EXPECT_EQ(std::string(bytes, 5), "foob#");
  EXPECT_STREQ(source, "Zm9vYg==") << "the trailing CR LF is trimmed in place";

  char shared[64] = "any carnal pleasure";
  EXPECT_EQ(api.base64_encode(shared, shared, 0, 1), -30);
  EXPECT_STREQ(shared, "YW55IGNhcm5hbCBwbGVhc3VyZQ==\r\n") << "the destination may be the source";
  EXPECT_EQ(api.base64_decode(shared, shared, 0, 0), -19);
  EXPECT_EQ(std::string(shared, 19), "any carnal pleasure");
}

TEST_F(CodecExports, RsaKeyImportKeysTheHmacJob) {
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

  const std::string message = "signed text";
  char out[40] = {};
  ASSERT_EQ(api.input_set(Var(message.c_str()), io, 0, 0), 0);
  ASSERT_EQ(api.output_set(Var(out), io, 0, 39), 0);
  ASSERT_EQ(api.md5_key(io, 0, 0, 0), 0);

  std::string key_area = "010203";
  key_area.resize(4096, '\0');
  HmacMd5 expected;
  expected.SetKey(reinterpret_cast<const uint8_t*>(key_area.data()), key_area.size());
  expected.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  EXPECT_STREQ(out, expected.HexDigest()) << "the first section's hexadecimal text is the key";
}

}  // namespace
}  // namespace telvarn::test
