// The eighteen exports as function pointers, as a host reaches them: taken from
// TelvarnHX.hpi with LoadLibrary and GetProcAddress on Windows, bound to the linked
// core elsewhere. Shared by the command-line program, the tests and the benchmark.
#pragma once

#include <string>

#include "telvarn.h"

namespace telvarn {

struct HostExports {
  decltype(&Telvarn_IO_Initialize) initialize;
  decltype(&Telvarn_IO_Input_Set) input_set;
  decltype(&Telvarn_IO_Output_Set) output_set;
  decltype(&Telvarn_IO_Key_Set) key_set;
  decltype(&Telvarn_IO_RSA_Key_Set) rsa_key_set;
  decltype(&Telvarn_CRC32) crc32;
  decltype(&Telvarn_CRC16) crc16;
  decltype(&Telvarn_SHA1) sha1;
  decltype(&Telvarn_SHA256) sha256;
  decltype(&Telvarn_SHA512) sha512;
  decltype(&Telvarn_MD5) md5;
  decltype(&Telvarn_MD5Key) md5_key;
  decltype(&Telvarn_IO_State) state;
  decltype(&Telvarn_IO_Wait) wait;
  decltype(&Telvarn_IO_WaitAll) wait_all;
  decltype(&Telvarn_IO_Suspend) suspend;
  decltype(&Telvarn_Base64_Encode) base64_encode;
  decltype(&Telvarn_Base64_Decode) base64_decode;
};

#if defined(_WIN32)
// Fills `exports` from a module loaded from TelvarnHX.hpi (its HMODULE). False,
// with the missing name in `error`, when an export is not there.
bool BindModuleExports(void* module, HostExports& exports, std::string& error);
// Loads TelvarnHX.hpi (searched for as LoadLibrary does: the program's folder
// first) and binds its exports. The module stays loaded.
bool LoadHostExports(HostExports& exports, std::string& error);
#else
// The core's own functions (BindLinkedExports).
bool LoadHostExports(HostExports& exports, std::string& error);
#endif

// The functions of the core linked into this program (host_exports_linked.cpp).
void BindLinkedExports(HostExports& exports);

}  // namespace telvarn
