// The IO exports as the core defines them: registration, input/output binding, keys.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "boundary/bindings.h"
#include "boundary/var_desc.h"
#include "telvarn.h"
#include "engine/module.h"
#include "support/guarded_buffer.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using test::HostVar;

class BindingTest : public ::testing::Test {
 protected:
  // Each test takes IO numbers of its own: the slot table is module-wide.
  IoSlot& Initialize(int32_t io) {
    EXPECT_EQ(Telvarn_IO_Initialize(io, 0, 0, 0), 0);
    IoSlot* slot = module::slot_table().find(io);
    EXPECT_NE(slot, nullptr);
    return *slot;
  }
  int32_t BindInputFile(int32_t io, const std::string& path) {
    VarDesc var = HostVar(path.c_str());
    return Telvarn_IO_Input_Set(&var, io, TELVARN_MODE_FILE, 0);
  }
  int32_t BindOutputFile(int32_t io, const std::string& path) {
    VarDesc var = HostVar(path.c_str());
    return Telvarn_IO_Output_Set(&var, io, TELVARN_MODE_FILE, 0);
  }

  test::TempDir dir_;
};

TEST_F(BindingTest, InitializeRegistersOnceAndResetsToIdle) {
  IoSlot& slot = Initialize(-7);
  slot.job_state = TELVARN_JOB_FINISHED;
  EXPECT_EQ(Telvarn_IO_Initialize(-7, 0x7FFFFFFF, -1, 12345), 0) << "ignored arguments ignored";
  EXPECT_EQ(module::slot_table().find(-7), &slot);
  EXPECT_EQ(slot.job_state.load(), TELVARN_JOB_IDLE);

  IoSlot& zero = Initialize(0);
  EXPECT_NE(&zero, &slot);
}

TEST_F(BindingTest, ReinitializingClosesBoundFilesAndKeepsTheKey) {
  IoSlot& slot = Initialize(201);
  const std::string in = dir_.path("in.bin"), out = dir_.path("out.txt");
  test::WriteFile(in, "0123456789");
  ASSERT_EQ(BindInputFile(201, in), 0);
  ASSERT_EQ(BindOutputFile(201, out), 0);
  ASSERT_EQ(Telvarn_IO_Key_Set("secret", 201, 0, 0), 0);

  Initialize(201);
  EXPECT_FALSE(slot.input.bound);
  EXPECT_FALSE(slot.output.bound);
  EXPECT_EQ(slot.input.kind, StreamKind::kNone);
  EXPECT_EQ(slot.output.kind, StreamKind::kNone);
  EXPECT_FALSE(test::IsFileOpenHere(in));
  EXPECT_FALSE(test::IsFileOpenHere(out));
  EXPECT_STREQ(reinterpret_cast<const char*>(slot.key_area), "secret");
}

TEST_F(BindingTest, MemoryInputTakesTheGivenOrMeasuredLength) {
  IoSlot& slot = Initialize(202);
  char text[8] = "abc";
  VarDesc var = HostVar(text);
  EXPECT_EQ(Telvarn_IO_Input_Set(&var, 202, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_EQ(slot.input.kind, StreamKind::kMemory);
  EXPECT_EQ(slot.input.size, 3);
  EXPECT_EQ(slot.input.pos, 0);
  EXPECT_EQ(slot.input.data, reinterpret_cast<uint8_t*>(text)) << "the address, not a copy";
  EXPECT_TRUE(slot.input.bound);

  EXPECT_EQ(Telvarn_IO_Input_Set(&var, 202, 2, 5), 0);
  EXPECT_EQ(slot.input.size, 5);
  EXPECT_EQ(Telvarn_IO_Input_Set(&var, 202, -1, -3), 0);
  EXPECT_EQ(slot.input.size, -3) << "a negative length is kept; jobs then read nothing";

  char empty[1] = "";
  VarDesc empty_var = HostVar(empty);
  EXPECT_EQ(Telvarn_IO_Input_Set(&empty_var, 202, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_EQ(slot.input.size, 0);
}

TEST_F(BindingTest, MemoryOutputMeasuresTheBufferAtBinding) {
  IoSlot& slot = Initialize(203);
  char buffer[16] = "0123456789";
  VarDesc var = HostVar(buffer);
  EXPECT_EQ(Telvarn_IO_Output_Set(&var, 203, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_EQ(slot.output.kind, StreamKind::kMemory);
  EXPECT_EQ(slot.output.size, 10);
  EXPECT_EQ(slot.output.data, reinterpret_cast<uint8_t*>(buffer));
  EXPECT_EQ(Telvarn_IO_Output_Set(&var, 203, 7, 16), 0);
  EXPECT_EQ(slot.output.size, 16);
}

TEST_F(BindingTest, FileInputMeasuresTheFileAndASecondFileClosesTheFirst) {
  IoSlot& slot = Initialize(204);
  const std::string first = dir_.path("first.bin"), second = dir_.path("second.bin");
  test::WriteFile(first, "0123456789");
  test::WriteFile(second, std::string(5000, 'x'));
  ASSERT_EQ(BindInputFile(204, first), 0);
  EXPECT_EQ(slot.input.kind, StreamKind::kFile);
  EXPECT_EQ(slot.input.size, 10);
  EXPECT_EQ(slot.input.pos, 0);
  EXPECT_TRUE(slot.input.bound);
  EXPECT_TRUE(test::IsFileOpenHere(first));

  ASSERT_EQ(BindInputFile(204, second), 0);
  EXPECT_EQ(slot.input.size, 5000);
  EXPECT_FALSE(test::IsFileOpenHere(first));
  EXPECT_TRUE(test::IsFileOpenHere(second));
  Initialize(204);
}

TEST_F(BindingTest, OnlyModeOneBindsAFile) {
  IoSlot& slot = Initialize(205);
  const std::string name = dir_.path("named.bin");
  test::WriteFile(name, "file contents");
  for (int32_t mode : {0, 2, -1}) {
    VarDesc var = HostVar(name.c_str());
    EXPECT_EQ(Telvarn_IO_Input_Set(&var, 205, mode, 0), 0);
    EXPECT_EQ(slot.input.kind, StreamKind::kMemory) << mode;
    EXPECT_EQ(slot.input.size, static_cast<int32_t>(name.size())) << "the name's own bytes";
  }
  EXPECT_FALSE(test::IsFileOpenHere(name));
}

TEST_F(BindingTest, MemoryBindingClosesAFileStillBound) {
  IoSlot& slot = Initialize(206);
  const std::string name = dir_.path("replaced.bin");
  test::WriteFile(name, "abc");
  ASSERT_EQ(BindInputFile(206, name), 0);
  char text[] = "xyz";
  VarDesc var = HostVar(text);
  ASSERT_EQ(Telvarn_IO_Input_Set(&var, 206, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_FALSE(test::IsFileOpenHere(name));
  EXPECT_EQ(slot.input.file, nullptr);
}

TEST_F(BindingTest, AFileThatCannotBeOpenedLeavesTheRightState) {
  IoSlot& slot = Initialize(207);
  const std::string missing = dir_.path("missing.bin");
  EXPECT_EQ(BindInputFile(207, missing), -1);
  EXPECT_FALSE(slot.input.bound) << "a fresh IO stays unbound";

  const std::string present = dir_.path("present.bin");
  test::WriteFile(present, "abc");
  ASSERT_EQ(BindInputFile(207, present), 0);
  EXPECT_EQ(BindInputFile(207, missing), -1);
  EXPECT_FALSE(slot.input.bound) << "an earlier file binding is left unbound";
  EXPECT_FALSE(test::IsFileOpenHere(present)) << "and its file closed";
  EXPECT_EQ(slot.input.size, 3) << "size, position and kind are not touched";
  EXPECT_EQ(slot.input.kind, StreamKind::kFile);

  char text[] = "memory";
  VarDesc var = HostVar(text);
  ASSERT_EQ(Telvarn_IO_Input_Set(&var, 207, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_EQ(BindInputFile(207, missing), -1);
  EXPECT_TRUE(slot.input.bound) << "an earlier memory binding stays in force";
  EXPECT_EQ(slot.input.kind, StreamKind::kMemory);
  EXPECT_EQ(slot.input.size, 6);

  const std::string no_folder = dir_.path("no-such-folder/out.txt");
  EXPECT_EQ(BindOutputFile(207, no_folder), -1);
}

TEST_F(BindingTest, OutputFileIsEmptiedAtBinding) {
  IoSlot& slot = Initialize(208);
  const std::string name = dir_.path("existing.txt");
  test::WriteFile(name, std::string(1000, 'q'));
  ASSERT_EQ(BindOutputFile(208, name), 0);
  EXPECT_EQ(slot.output.kind, StreamKind::kFile);
  EXPECT_EQ(slot.output.size, 0);
  EXPECT_TRUE(slot.output.bound);
  EXPECT_EQ(std::filesystem::file_size(name), 0u);
  Initialize(208);
}

TEST_F(BindingTest, AbsentIoChangesNothing) {
  const std::string name = dir_.path("never-created.txt");
  VarDesc var = HostVar(name.c_str());
  EXPECT_EQ(Telvarn_IO_Output_Set(&var, 987654, TELVARN_MODE_FILE, 0), -1);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(Telvarn_IO_Input_Set(&var, 987654, TELVARN_MODE_MEMORY, 0), -1);
  EXPECT_EQ(Telvarn_IO_Key_Set("key", 987654, 0, 0), -1);
  EXPECT_EQ(module::slot_table().find(987654), nullptr);
}

TEST_F(BindingTest, KeysAreStoredAsTextUpToTheirLength) {
  IoSlot& slot = Initialize(209);
  auto key_text = [&] { return std::string(reinterpret_cast<const char*>(slot.key_area)); };
  EXPECT_EQ(Telvarn_IO_Key_Set("0123456789", 209, 0, 0), 0);
  EXPECT_EQ(Telvarn_IO_Key_Set("abcd", 209, 0, 0), 0);
  EXPECT_EQ(key_text(), "abcd");
  EXPECT_EQ(slot.key_area[5], '5') << "the rest of a longer key stays behind the NUL";

  EXPECT_EQ(Telvarn_IO_Key_Set("sixsix", 209, 3, 0), 0);
  EXPECT_EQ(key_text(), "six");

  const char with_zero[] = {'a', 0, 'b'};
  EXPECT_EQ(Telvarn_IO_Key_Set(with_zero, 209, 3, 0), 0);
  EXPECT_EQ(slot.key_area[2], 'b');
  EXPECT_EQ(slot.key_area[3], 0);

  slot.key_area[1024] = 'R';
  EXPECT_EQ(Telvarn_IO_Key_Set("k", 209, -5, 0), 0);
  EXPECT_EQ(key_text(), "") << "a negative length stores an empty key";
  EXPECT_EQ(slot.key_area[1024], 'R') << "the second RSA section is left alone";
}

// A key area between guard bytes: whatever follows the area in a record, a write
// past it shows.
TEST_F(BindingTest, KeysLongerThanTheKeyAreaAreCut) {
  test::GuardedBuffer guarded(kKeyAreaSize, 256, 0xA5, 0xA5);
  uint8_t (&area)[kKeyAreaSize] = *reinterpret_cast<uint8_t(*)[kKeyAreaSize]>(guarded.data());
  const std::string long_key(5000, 'k');
  for (int32_t length : {0, 5000, 4096, 4095}) {
    SetKey(area, reinterpret_cast<const uint8_t*>(long_key.c_str()), length);
    EXPECT_EQ(area[4094], 'k') << length;
    EXPECT_EQ(area[4095], 0) << length;
    ASSERT_EQ(guarded.Damage(), "") << length;
  }
  // Through the export, into an IO's own area.
  IoSlot& slot = Initialize(210);
  EXPECT_EQ(Telvarn_IO_Key_Set(long_key.c_str(), 210, 5000, 0), 0);
  EXPECT_EQ(slot.key_area[4094], 'k');
  EXPECT_EQ(slot.key_area[4095], 0);
}

TEST_F(BindingTest, FilesPastFourGigabytesBindWithTheirSizeCapped) {
  IoSlot& slot = Initialize(211);
  const std::string name = dir_.path("huge.bin");
  test::MakeSizedFile(name, (uint64_t{1} << 32) + 5);
  ASSERT_EQ(BindInputFile(211, name), 0);
  EXPECT_EQ(slot.input.size, INT32_MAX);
  EXPECT_TRUE(slot.input.bound);
  Initialize(211);
}

}  // namespace
}  // namespace telvarn
