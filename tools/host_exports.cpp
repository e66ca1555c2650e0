// Binding the eighteen exports: by decorated name from the DLL, or to the linked core.
#include "host_exports.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace telvarn {

#if defined(_WIN32)

namespace {

template <class Fn>
bool Find(HMODULE module, const char* name, Fn& fn, std::string& error) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    error = std::string("TelvarnHX.hpi has no export ") + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

bool BindModuleExports(void* handle, HostExports& e, std::string& error) {
  auto module = static_cast<HMODULE>(handle);
  return Find(module, "_Telvarn_IO_Initialize@16", e.initialize, error) &&
         Find(module, "_Telvarn_IO_Input_Set@16", e.input_set, error) &&
         Find(module, "_Telvarn_IO_Output_Set@16", e.output_set, error) &&
         Find(module, "_Telvarn_IO_Key_Set@16", e.key_set, error) &&
         Find(module, "_Telvarn_IO_RSA_Key_Set@16", e.rsa_key_set, error) &&
         Find(module, "_Telvarn_CRC32@16", e.crc32, error) &&
         Find(module, "_Telvarn_CRC16@16", e.crc16, error) &&
         Find(module, "_Telvarn_SHA1@16", e.sha1, error) &&
         Find(module, "_Telvarn_SHA256@16", e.sha256, error) &&
         Find(module, "_Telvarn_SHA512@16", e.sha512, error) &&
         Find(module, "_Telvarn_MD5@16", e.md5, error) &&
         Find(module, "_Telvarn_MD5Key@16", e.md5_key, error) &&
         Find(module, "_Telvarn_IO_State@16", e.state, error) &&
         Find(module, "_Telvarn_IO_Wait@16", e.wait, error) &&
         Find(module, "_Telvarn_IO_WaitAll@16", e.wait_all, error) &&
         Find(module, "_Telvarn_IO_Suspend@16", e.suspend, error) &&
         Find(module, "_Telvarn_Base64_Encode@16", e.base64_encode, error) &&
         Find(module, "_Telvarn_Base64_Decode@16", e.base64_decode, error);
}

bool LoadHostExports(HostExports& exports, std::string& error) {
  HMODULE module = LoadLibraryA("TelvarnHX.hpi");
  if (module == nullptr) {
    error = "cannot load TelvarnHX.hpi (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return BindModuleExports(module, exports, error);
}

#else

bool LoadHostExports(HostExports& exports, std::string&) {
  BindLinkedExports(exports);
  return true;
}

#endif

}  // namespace telvarn
