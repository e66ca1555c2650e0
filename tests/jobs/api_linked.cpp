// The exports as linked into the test program from the core library.
#include "telvarn.h"
#include "jobs/api.h"

namespace telvarn::test {

const Api& ExportsUnderTest() {
  static const Api api = {
      &Telvarn_IO_Initialize, &Telvarn_IO_Input_Set, &Telvarn_IO_Output_Set, &Telvarn_IO_Key_Set,
      &Telvarn_CRC32,         &Telvarn_CRC16,        &Telvarn_SHA1,          &Telvarn_SHA256,
      &Telvarn_SHA512,        &Telvarn_MD5,          &Telvarn_MD5Key,        &Telvarn_IO_State,
      &Telvarn_IO_Wait,       &Telvarn_IO_WaitAll,   &Telvarn_IO_Suspend,
  };
  return api;
}

const char* ExportsKind() { return "linked"; }

}  // namespace telvarn::test
