// PE header walking over a loaded image, PE32 or PE32+: every RVA is an offset from the module base.
#include "dll/pe_image.h"

#include <stdexcept>

namespace telvarn::test {
namespace {

template <class T>
const T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(module) + rva);
}

// The signature and file header are laid out alike in PE32 and PE32+; the optional
// header that follows them is not: PE32+ drops BaseOfData and widens the image
// base and the stack and heap sizes, which moves the data directories.
const IMAGE_NT_HEADERS32& NtHeaders(HMODULE module) {
  const auto& dos = *At<IMAGE_DOS_HEADER>(module, 0);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("no DOS header");
  const auto& nt = *At<IMAGE_NT_HEADERS32>(module, static_cast<DWORD>(dos.e_lfanew));
  if (nt.Signature != IMAGE_NT_SIGNATURE) throw std::runtime_error("no PE header");
  return nt;
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int index) {
  const IMAGE_NT_HEADERS32& nt = NtHeaders(module);
  DWORD count = 0;
  const IMAGE_DATA_DIRECTORY* directories = nullptr;
  if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    const auto& optional = reinterpret_cast<const IMAGE_NT_HEADERS64&>(nt).OptionalHeader;
    count = optional.NumberOfRvaAndSizes;
    directories = optional.DataDirectory;
  } else if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    count = nt.OptionalHeader.NumberOfRvaAndSizes;
    directories = nt.OptionalHeader.DataDirectory;
  } else {
    throw std::runtime_error("an optional header that is neither PE32 nor PE32+");
  }
  static const IMAGE_DATA_DIRECTORY kAbsent{};
  return static_cast<DWORD>(index) < count ? directories[index] : kAbsent;
}

template <class Thunk>
void ReadLookupTable(HMODULE module, const std::string& dll, DWORD rva, Thunk ordinal_flag,
                     std::vector<ImportedFunction>& functions) {
  for (const Thunk* entry = At<Thunk>(module, rva); *entry != 0; ++entry) {
    ImportedFunction function;
    function.dll = dll;
    if ((*entry & ordinal_flag) != 0) {
      function.ordinal = static_cast<uint32_t>(*entry & 0xFFFF);
    } else {
      function.name = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(*entry))->Name;
    }
    functions.push_back(function);
  }
}

}  // namespace

ImageVersions ReadImageVersions(HMODULE module) {
  const IMAGE_NT_HEADERS32& nt = NtHeaders(module);
  ImageVersions versions;
  auto copy = [&versions](const auto& optional) {
    versions.major_operating_system = optional.MajorOperatingSystemVersion;
    versions.minor_operating_system = optional.MinorOperatingSystemVersion;
    versions.major_subsystem = optional.MajorSubsystemVersion;
    versions.minor_subsystem = optional.MinorSubsystemVersion;
  };
  if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    copy(reinterpret_cast<const IMAGE_NT_HEADERS64&>(nt).OptionalHeader);
  } else {
    copy(nt.OptionalHeader);
  }
  return versions;
}

ImageFormat ReadImageFormat(HMODULE module) {
  const IMAGE_NT_HEADERS32& nt = NtHeaders(module);
  ImageFormat format;
  format.machine = nt.FileHeader.Machine;
  format.pe32_plus = nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  return format;
}

ExportDirectory ReadExports(HMODULE module) {
  const auto& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
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
  const auto& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  std::vector<std::string> dlls;
  if (entry.VirtualAddress == 0) return dlls;
  for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(module, entry.VirtualAddress); desc->Name != 0;
       ++desc) {
    dlls.emplace_back(At<char>(module, desc->Name));
  }
  return dlls;
}

std::vector<ImportedFunction> ReadImportedFunctions(HMODULE module) {
  const auto& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  const bool pe32_plus = ReadImageFormat(module).pe32_plus;
  std::vector<ImportedFunction> functions;
  if (entry.VirtualAddress == 0) return functions;
  for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(module, entry.VirtualAddress); desc->Name != 0;
       ++desc) {
    const std::string dll = At<char>(module, desc->Name);
    if (desc->OriginalFirstThunk == 0) throw std::runtime_error(dll + ": no import lookup table");
    if (pe32_plus) {
      ReadLookupTable<ULONGLONG>(module, dll, desc->OriginalFirstThunk, IMAGE_ORDINAL_FLAG64, functions);
    } else {
      ReadLookupTable<DWORD>(module, dll, desc->OriginalFirstThunk, IMAGE_ORDINAL_FLAG32, functions);
    }
  }
  return functions;
}

}  // namespace telvarn::test
