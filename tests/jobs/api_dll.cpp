// The exports of TelvarnHX.hpi, loaded once with LoadLibrary and found by decorated name.
#include <stdexcept>
#include <string>

#include <windows.h>

#include "jobs/api.h"

namespace telvarn::test {
namespace {

template <class Fn>
Fn Find(HMODULE module, const char* name) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) throw std::runtime_error(std::string("missing export ") + name);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

}  // namespace

Api ApiFromModule(void* handle) {
  auto module = static_cast<HMODULE>(handle);
  return Api{
      Find<Api::IoExport>(module, "_Telvarn_IO_Initialize@16"),
      Find<Api::BindExport>(module, "_Telvarn_IO_Input_Set@16"),
      Find<Api::BindExport>(module, "_Telvarn_IO_Output_Set@16"),
      Find<Api::KeyExport>(module, "_Telvarn_IO_Key_Set@16"),
      Find<Api::IoExport>(module, "_Telvarn_CRC32@16"),
      Find<Api::IoExport>(module, "_Telvarn_CRC16@16"),
      Find<Api::IoExport>(module, "_Telvarn_SHA1@16"),
      Find<Api::IoExport>(module, "_Telvarn_SHA256@16"),
      Find<Api::IoExport>(module, "_Telvarn_SHA512@16"),
      Find<Api::IoExport>(module, "_Telvarn_MD5@16"),
      Find<Api::IoExport>(module, "_Telvarn_MD5Key@16"),
      Find<Api::IoExport>(module, "_Telvarn_IO_State@16"),
      Find<Api::WaitExport>(module, "_Telvarn_IO_Wait@16"),
      Find<Api::IoExport>(module, "_Telvarn_IO_WaitAll@16"),
      Find<Api::IoExport>(module, "_Telvarn_IO_Suspend@16"),
  };
}

const Api& ExportsUnderTest() {
  static const Api api = [] {
    HMODULE module = LoadLibraryA("TelvarnHX.hpi");
    if (module == nullptr) throw std::runtime_error("cannot load TelvarnHX.hpi");
    return ApiFromModule(module);
  }();
  return api;
}

const char* ExportsKind() { return "dll"; }

}  // namespace telvarn::test
