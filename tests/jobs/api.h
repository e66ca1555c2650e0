// The exports under test, as function pointers: linked into the test program, or
// taken from TelvarnHX.hpi with GetProcAddress, so that one suite runs against both.
#pragma once

#include <cstdint>
#include <string>

#include "boundary/var_desc.h"
#include "platform/platform.h"

namespace telvarn::test {

struct Api {
  using IoExport = int32_t(TELVARN_STDCALL*)(int32_t, int32_t, int32_t, int32_t);
  using BindExport = int32_t(TELVARN_STDCALL*)(const VarDesc*, int32_t, int32_t, int32_t);
  using KeyExport = int32_t(TELVARN_STDCALL*)(const void*, int32_t, int32_t, int32_t);
  using WaitExport = int32_t(TELVARN_STDCALL*)(int32_t, uint32_t, int32_t, int32_t);

  IoExport initialize;
  BindExport input_set;
  BindExport output_set;
  KeyExport key_set;
  IoExport crc32;
  IoExport crc16;
  IoExport sha1;
  IoExport sha256;
  IoExport sha512;
  IoExport md5;
  IoExport md5_key;
  IoExport state;
  WaitExport wait;
  IoExport wait_all;
  IoExport suspend;
};

// The exports of this test program's build.
const Api& ExportsUnderTest();
// "linked" or "dll".
const char* ExportsKind();

#if defined(_WIN32)
// The exports of a module loaded from TelvarnHX.hpi (its HMODULE, as a pointer).
Api ApiFromModule(void* module);
#endif

}  // namespace telvarn::test
