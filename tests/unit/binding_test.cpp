// The IO exports as a caller sees them: registration, input and output binding, keys.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "boundary/bindings.h"
#include "digest/crc.h"
#include "digest/hmac.h"
#include "support/guarded_buffer.h"
#include "support/test_support.h"
#include "telvarn.h"

namespace telvarn {
namespace {

using test::IsFileOpenHere;

const char kMessage[] = "what do ya want for nothing?";

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string Crc32Text(const std::string& bytes) {
  Crc32 crc;
  crc.Update(Bytes(bytes), bytes.size());
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc.value()));
  return text;
}

std::string HmacMd5Text(const std::string& key) {
  HmacMd5 hmac;
  hmac.SetKey(Bytes(key), key.size());
  hmac.Update(reinterpret_cast<const uint8_t*>(kMessage), std::strlen(kMessage));
  return hmac.HexDigest();
}

class BindingTest : public ::testing::Test {
 protected:
  // Each test takes IO numbers of its own: the slot table is module-wide.
  int32_t Initialize(int32_t io) {
    EXPECT_EQ(Telvarn_IO_Initialize(io, 0, 0, 0), 0);
    return io;
  }
  int32_t BindInput(int32_t io, const void* data, int32_t mode = TELVARN_MODE_MEMORY, int32_t length = 0) {
    VarDesc var = test::HostVar(data);
    return Telvarn_IO_Input_Set(&var, io, mode, length);
  }
  int32_t BindOutput(int32_t io, const void* data, int32_t mode = TELVARN_MODE_MEMORY, int32_t length = 0) {
    VarDesc var = test::HostVar(data);
    return Telvarn_IO_Output_Set(&var, io, mode, length);
  }
  // CRC-32, run at once over whatever the IO's input is bound to.
  std::string Crc32Now(int32_t io) {
    char out[9] = {};
    EXPECT_EQ(BindOutput(io, out, TELVARN_MODE_MEMORY, 8), 0);
    EXPECT_EQ(Telvarn_CRC32(io, TELVARN_RUN_NOW, 0, 0), 0);
    return out;
  }
  // HMAC-MD5 of kMessage under the IO's key, run at once.
  std::string KeyedNow(int32_t io) {
    char out[33] = {};
    EXPECT_EQ(BindInput(io, kMessage), 0);
    EXPECT_EQ(BindOutput(io, out, TELVARN_MODE_MEMORY, 32), 0);
    EXPECT_EQ(Telvarn_MD5Key(io, TELVARN_RUN_NOW, 0, 0), 0);
    return out;
  }

  test::TempDir dir_;
};

TEST_F(BindingTest, InitializeRegistersOnceAndResetsToIdle) {
  const int32_t io = Initialize(-7);
  ASSERT_EQ(Telvarn_IO_Key_Set("kept", io, 0, 0), 0);
  Crc32Now(io);
  ASSERT_EQ(Telvarn_IO_State(io, 0, 0, 0), -TELVARN_JOB_FINISHED);
  EXPECT_EQ(Telvarn_IO_Initialize(io, 0x7FFFFFFF, -1, 12345), 0) << "ignored arguments ignored";
  EXPECT_EQ(Telvarn_IO_State(io, 0, 0, 0), -TELVARN_JOB_IDLE);

  ASSERT_EQ(Telvarn_IO_Key_Set("zero", Initialize(0), 0, 0), 0);
  EXPECT_EQ(KeyedNow(io), HmacMd5Text("kept")) << "the same IO again, and IO 0 another one";
}

TEST_F(BindingTest, ReinitializingUnbindsAndClosesFilesAndKeepsTheKey) {
  const int32_t io = Initialize(201);
  const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
  test::WriteFile(in, "0123456789");
  ASSERT_EQ(BindInput(io, in.c_str(), TELVARN_MODE_FILE), 0);
  ASSERT_EQ(BindOutput(io, out.c_str(), TELVARN_MODE_FILE), 0);
  ASSERT_EQ(Telvarn_IO_Key_Set("secret", io, 0, 0), 0);

  Initialize(io);
  EXPECT_FALSE(IsFileOpenHere(in));
  EXPECT_FALSE(IsFileOpenHere(out));
  EXPECT_EQ(KeyedNow(io), HmacMd5Text("secret"));

  char result[9] = "--------";
  ASSERT_EQ(BindInput(io, "abc"), 0);
  ASSERT_EQ(BindOutput(io, result), 0);
  Initialize(io);
  ASSERT_EQ(Telvarn_CRC32(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_STREQ(result, "--------") << "the output is no longer bound";
  EXPECT_EQ(Crc32Now(io), "00000000") << "nor the input: the empty message";
}

TEST_F(BindingTest, MemoryInputIsReadWhereItLiesForTheGivenOrMeasuredLength) {
  const int32_t io = Initialize(202);
  char text[8] = "abc";
  ASSERT_EQ(BindInput(io, text), 0);
  text[1] = 'B';
  EXPECT_EQ(Crc32Now(io), Crc32Text("aBc")) << "the address is bound, not a copy";

  ASSERT_EQ(BindInput(io, text, 2, 5), 0);
  EXPECT_EQ(Crc32Now(io), Crc32Text(std::string("aBc\0\0", 5)));
  ASSERT_EQ(BindInput(io, text, -1, -3), 0);
  EXPECT_EQ(Crc32Now(io), "00000000") << "a negative length reads nothing";
  ASSERT_EQ(BindInput(io, ""), 0);
  EXPECT_EQ(Crc32Now(io), "00000000");
}

TEST_F(BindingTest, MemoryOutputTakesTheWholeResultOrTheGivenLength) {
  const int32_t io = Initialize(203);
  const std::string sha1_abc = "A9993E364706816ABA3E25717850C26C9CD0D89D";
  char buffer[48] = "0123456789";
  ASSERT_EQ(BindInput(io, "abc"), 0);
  ASSERT_EQ(BindOutput(io, buffer), 0);
  ASSERT_EQ(Telvarn_SHA1(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_EQ(std::string(buffer), sha1_abc) << "a measured buffer is not a limit";

  std::memset(buffer, '#', sizeof buffer);
  ASSERT_EQ(BindInput(io, "abc"), 0);
  ASSERT_EQ(BindOutput(io, buffer, 7, 16), 0);
  ASSERT_EQ(Telvarn_SHA1(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_EQ(std::string(buffer, 18), sha1_abc.substr(0, 16) + "##");
}

TEST_F(BindingTest, FileInputIsReadWholeFromItsStartAndASecondFileClosesTheFirst) {
  const int32_t io = Initialize(204);
  const std::string first = dir_.path("first.bin"), second = dir_.path("second.bin");
  std::mt19937 random(4);
  const std::string second_bytes = test::RandomString(random, 5000);
  test::WriteFile(first, "0123456789");
  test::WriteFile(second, second_bytes);
  ASSERT_EQ(BindInput(io, first.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_EQ(Crc32Now(io), Crc32Text("0123456789"));
  EXPECT_FALSE(IsFileOpenHere(first)) << "the job closes it";

  ASSERT_EQ(BindInput(io, first.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_TRUE(IsFileOpenHere(first));
  ASSERT_EQ(BindInput(io, second.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_FALSE(IsFileOpenHere(first));
  EXPECT_EQ(Crc32Now(io), Crc32Text(second_bytes));
}

TEST_F(BindingTest, OnlyModeOneBindsAFile) {
  const int32_t io = Initialize(205);
  const std::string name = dir_.path("named.bin");
  test::WriteFile(name, "file contents");
  for (int32_t mode : {0, 2, -1}) {
    ASSERT_EQ(BindInput(io, name.c_str(), mode), 0);
    EXPECT_FALSE(IsFileOpenHere(name)) << mode;
    EXPECT_EQ(Crc32Now(io), Crc32Text(name)) << "the name's own bytes, mode " << mode;
  }
}

TEST_F(BindingTest, MemoryBindingClosesAFileStillBound) {
  const int32_t io = Initialize(206);
  const std::string name = dir_.path("replaced.bin");
  test::WriteFile(name, "abc");
  ASSERT_EQ(BindInput(io, name.c_str(), TELVARN_MODE_FILE), 0);
  ASSERT_EQ(BindInput(io, "xyz"), 0);
  EXPECT_FALSE(IsFileOpenHere(name));
  EXPECT_EQ(Crc32Now(io), Crc32Text("xyz"));
}

TEST_F(BindingTest, AFileThatCannotBeOpenedIsRefusedAndLeavesTheRightBinding) {
  const int32_t io = Initialize(207);
  const std::string missing = dir_.path("missing.bin"), present = dir_.path("present.bin");
  test::WriteFile(present, "abc");
  EXPECT_EQ(BindInput(io, missing.c_str(), TELVARN_MODE_FILE), -1);
  EXPECT_EQ(Crc32Now(io), "00000000") << "a fresh IO stays unbound";

  ASSERT_EQ(BindInput(io, present.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_EQ(BindInput(io, missing.c_str(), TELVARN_MODE_FILE), -1);
  EXPECT_FALSE(IsFileOpenHere(present)) << "an earlier file binding is closed";
  EXPECT_EQ(Crc32Now(io), "00000000") << "and left unbound";

  ASSERT_EQ(BindInput(io, "memory"), 0);
  EXPECT_EQ(BindInput(io, missing.c_str(), TELVARN_MODE_FILE), -1);
  EXPECT_EQ(Crc32Now(io), Crc32Text("memory")) << "an earlier memory binding stays in force";

  EXPECT_EQ(BindOutput(io, dir_.path("no-such-folder/out.txt").c_str(), TELVARN_MODE_FILE), -1);
}

TEST_F(BindingTest, OutputFileIsEmptiedAtBindingAndReceivesTheResult) {
  const int32_t io = Initialize(208);
  const std::string name = dir_.path("existing.txt");
  test::WriteFile(name, std::string(1000, 'q'));
  ASSERT_EQ(BindOutput(io, name.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_EQ(std::filesystem::file_size(name), 0u);
  ASSERT_EQ(BindInput(io, "123456789"), 0);
  ASSERT_EQ(Telvarn_CRC32(io, TELVARN_RUN_NOW, 0, 0), 0);
  EXPECT_EQ(test::ReadFile(name), "CBF43926");
}

TEST_F(BindingTest, AbsentIoChangesNothing) {
  const std::string name = dir_.path("never-created.txt");
  EXPECT_EQ(BindOutput(987654, name.c_str(), TELVARN_MODE_FILE), -1);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(BindInput(987654, name.c_str()), -1);
  EXPECT_EQ(Telvarn_IO_Key_Set("key", 987654, 0, 0), -1);
  EXPECT_EQ(Telvarn_CRC32(987654, TELVARN_RUN_NOW, 0, 0), -1) << "still absent";
}

TEST_F(BindingTest, KeyedJobsUseTheKeyTextUpToItsLength) {
  const int32_t io = Initialize(209);
  const struct {
    const char* key;
    int32_t length;
    std::string used;
  } cases[] = {{"0123456789", 0, "0123456789"}, {"abcd", 0, "abcd"},  {"sixsix", 3, "six"},
               {"a\0b", 3, "a"},                {"k", -5, ""}};
  for (const auto& c : cases) {
    ASSERT_EQ(Telvarn_IO_Key_Set(c.key, io, c.length, 0), 0);
    EXPECT_EQ(KeyedNow(io), HmacMd5Text(c.used)) << c.key << ", length " << c.length;
  }
  const std::string long_key(5000, 'k');
  ASSERT_EQ(Telvarn_IO_Key_Set(long_key.c_str(), io, 5000, 0), 0);
  EXPECT_EQ(KeyedNow(io), HmacMd5Text(long_key.substr(0, kKeyAreaSize - 1))) << "cut to the key area";
}

// A key area between guard bytes: SetKey writes the key's bytes and a NUL, and
// nothing past them (the rest of an earlier key, the second RSA section, whatever
// follows the area in a record).
TEST_F(BindingTest, SetKeyWritesTheKeyAndItsNulAndNothingElse) {
  const std::string long_key(5000, 'k');
  const struct {
    const char* key;
    int32_t length;
    size_t stored;
  } cases[] = {{long_key.c_str(), 0, 4095}, {long_key.c_str(), 5000, 4095}, {long_key.c_str(), 4096, 4095},
               {long_key.c_str(), 4095, 4095}, {"a\0b", 3, 3}, {"sixsix", 3, 3}, {"k", -5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length);
    test::GuardedBuffer guarded(kKeyAreaSize, 256, 0xA5, 0xA5);
    auto& area = *reinterpret_cast<uint8_t(*)[kKeyAreaSize]>(guarded.data());
    SetKey(area, reinterpret_cast<const uint8_t*>(c.key), c.length);
    EXPECT_EQ(std::memcmp(guarded.data(), c.key, c.stored), 0);
    EXPECT_EQ(guarded.data()[c.stored], 0);
    EXPECT_EQ(guarded.Damage(c.stored + 1), "") << "written past the NUL";
  }
}

TEST_F(BindingTest, FilesPastFourGigabytesBind) {
  const int32_t io = Initialize(211);
  const std::string name = dir_.path("huge.bin");
  test::MakeSizedFile(name, (uint64_t{1} << 32) + 5);
  ASSERT_EQ(BindInput(io, name.c_str(), TELVARN_MODE_FILE), 0);
  EXPECT_TRUE(IsFileOpenHere(name));
  Initialize(io);
  EXPECT_FALSE(IsFileOpenHere(name));
}

}  // namespace
}  // namespace telvarn
