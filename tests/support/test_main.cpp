// The test programs' main: leaves the mark that says the program started, then runs GoogleTest.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // scripts/wine-run.sh names a file here for each start of a program under Wine:
  // a program that exits without it never reached main, and the harness says so
  // (and starts it again) rather than reporting the test as failed or passed.
  if (const char* mark = std::getenv("TELVARN_STARTED_MARK")) {
    if (std::FILE* file = std::fopen(mark, "w")) std::fclose(file);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
