// The system services under the digest runner: the pipe that feeds the module.
#include "cli/system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace telvarn::cli {
namespace {

// The module closes its end of the pipe when it refuses a job: the feeder's next
// write must fail and leave the program running (natively, no SIGPIPE ends it).
TEST(ModulePipe, AWriteAfterTheReaderHasGoneFailsAndTheProgramGoesOn) {
  ModulePipe pipe;
  ASSERT_TRUE(pipe.Create()) << pipe.error();
  std::FILE* reader = std::fopen(pipe.name().c_str(), "rb");
  ASSERT_NE(reader, nullptr) << pipe.name();
  pipe.ReaderBound();
  std::fclose(reader);
  const std::vector<char> block(1u << 20, 'x');
  EXPECT_FALSE(pipe.WriteAll(block.data(), block.size()));
  EXPECT_EQ(pipe.error(), "Broken pipe");
  EXPECT_FALSE(pipe.WriteAll(block.data(), block.size()));
}

}  // namespace
}  // namespace telvarn::cli
