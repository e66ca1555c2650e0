// PE header walking over a loaded image: every RVA is an offset from the module base.
#include "dll/pe_image.h"

#include <stdexcept>

namespace telvarn::test {
namespace {

const IMAGE_NT_HEADERS32& NtHeaders(HMODULE module) {
  auto base = reinterpret_cast<const uint8_t*>(module);
  auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("no DOS header");
  auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos.e_lfanew);
  if (nt.Signature != IMAGE_NT_SIGNATURE) throw std::runtime_error("no PE header");
  return nt;
}

template <class T>
const T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(module) + rva);
}

}  // namespace

ExportDirectory ReadExports(HMODULE module) {
  const auto& entry = NtHeaders(module).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) throw std::runtime_error("no export directory");
  const auto& dir = *At<IMAGE_EXPORT_DIRECTORY>(module, entry.VirtualAddress);
  ExportDirectory result;
  result.module_name = At<char>(module, dir.Name);
  const DWORD* functions = At<DWORD>(module, dir.AddressOfFunctions);
  const DWORD* names = At<DWORD>(module, dir.AddressOfNames);
  const WORD* name_ordinals = At<WORD>(module, dir.AddressOfNameOrdinals);
  for (DWORD i = 0; i < dir.NumberOfFunctions; ++i) {
    if (functions[i] != 0) result.ordinals.push_back(dir.Base + i);
  }
  for (DWORD i = 0; i < dir.NumberOfNames; ++i) {
    result.ordinal_by_name[At<char>(module, names[i])] = dir.Base + name_ordinals[i];
  }
  return result;
}

std::vector<std::string> ReadImportedDlls(HMODULE module) {
  const auto& entry = NtHeaders(module).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> dlls;
  if (entry.VirtualAddress == 0) return dlls;
  for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(module, entry.VirtualAddress); desc->Name != 0;
       ++desc) {
    dlls.emplace_back(At<char>(module, desc->Name));
  }
  return dlls;
}

}  // namespace telvarn::test
