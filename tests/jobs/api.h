// The exports under test, as function pointers: linked into the test program, or
// taken from TelvarnHX.hpi with GetProcAddress, so that one suite runs against both.
#pragma once

#include "boundary/var_desc.h"
#include "host_exports.h"

namespace telvarn::test {

using Api = HostExports;
using JobExport = decltype(HostExports::crc32);

// The exports of this test program's build.
const Api& ExportsUnderTest();

}  // namespace telvarn::test
