// The hexadecimal result text: digit counts from one to sixteen, high digits dropped, nothing written past the count.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "codec/hex.h"

namespace telvarn {
namespace {

TEST(WriteHexUpper, WritesTheLowDigitsMostSignificantFirst) {
  struct Case {
    uint64_t value;
    unsigned digits;
    const char* text;
  };
  const Case cases[] = {
      {0x995DC9BBDF1939FAu, 16, "995DC9BBDF1939FA"},  // a CRC-64/XZ result
      {0x00000000E3069283u, 16, "00000000E3069283"},
      {0xCBF43926u, 8, "CBF43926"},
      {0x123456789ABCDEF0u, 8, "9ABCDEF0"},
      {0x6F91u, 4, "6F91"},
      {0xABu, 1, "B"},
  };
  for (const Case& c : cases) {
    std::string out(18, '*');
    WriteHexUpper(c.value, c.digits, &out[1]);
    EXPECT_EQ(out, "*" + std::string(c.text) + std::string(17 - c.digits, '*')) << c.text;
  }
}

}  // namespace
}  // namespace telvarn
