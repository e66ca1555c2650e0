// The test programs' main: leaves the marks that say the program started and returned, then runs GoogleTest.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

void WriteMark(const char* path, const char* text) {
  if (std::FILE* file = std::fopen(path, "w")) {
    std::fputs(text, file);
    std::fclose(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // scripts/wine-run.sh names a file here for each start of a program under Wine:
  // a program that exits without it never reached main, and the harness says so
  // (and starts it again) rather than reporting the test as failed or passed. The
  // second word tells a program that Wine killed after main had returned from one
  // that died in its tests.
  const char* mark = std::getenv("TELVARN_STARTED_MARK");
  if (mark) WriteMark(mark, "started");
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  if (mark) WriteMark(mark, result == 0 ? "returned 0" : "returned 1");
  return result;
}
