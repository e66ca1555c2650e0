// The exports under test, as function pointers: linked into the test program, or
// taken from TelvarnHX.hpi with GetProcAddress, so that one suite runs against both.
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "boundary/var_desc.h"
#include "host_exports.h"
#include "support/test_support.h"

namespace telvarn::test {

using Api = HostExports;
using JobExport = decltype(HostExports::crc32);

// The exports of this test program's build.
const Api& ExportsUnderTest();

// What every suite of the exports starts from.
class ExportTest : public ::testing::Test {
 protected:
  const Api& api = ExportsUnderTest();

  // A registered IO of the test's own: the slot table is module-wide.
  int32_t NewIo() {
    static std::atomic<int32_t> next{5000};
    const int32_t io = next++;
    EXPECT_EQ(api.initialize(io, 0, 0, 0), 0);
    return io;
  }
  // The module reads a descriptor during the call only, so one record serves.
  const VarDesc* Var(const void* data) {
    var_ = HostVar(data);
    return &var_;
  }

 private:
  VarDesc var_{};
};

}  // namespace telvarn::test
