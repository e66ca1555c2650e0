// Reads the headers, export directory and import table of a module mapped in this process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

namespace telvarn::test {

// What the file header and the optional header's magic say the image is built for.
struct ImageFormat {
  uint16_t machine = 0;  // IMAGE_FILE_MACHINE_I386 or IMAGE_FILE_MACHINE_AMD64
  bool pe32_plus = false;  // the 64-bit optional header (magic 0x20B), not PE32 (0x10B)
};

// The Windows versions the optional header claims the image needs.
struct ImageVersions {
  uint16_t major_operating_system = 0, minor_operating_system = 0;
  uint16_t major_subsystem = 0, minor_subsystem = 0;
};

// One function the image imports: by name, or by ordinal when the name is empty.
struct ImportedFunction {
  std::string dll;
  std::string name;
  uint32_t ordinal = 0;
};

struct ExportDirectory {
  std::string module_name;
  std::map<std::string, uint32_t> ordinal_by_name;
  // Ordinals whose address slot is filled, named or not.
  std::vector<uint32_t> ordinals;
};

// Each throws std::runtime_error on an image it cannot read: no DOS or PE
// signature, or an optional header that is neither PE32 nor PE32+.
ImageFormat ReadImageFormat(HMODULE module);
ImageVersions ReadImageVersions(HMODULE module);
ExportDirectory ReadExports(HMODULE module);
std::vector<std::string> ReadImportedDlls(HMODULE module);
// Read from each descriptor's import lookup table, which the loader leaves as the
// linker wrote it (the address table beside it is overwritten once bound).
std::vector<ImportedFunction> ReadImportedFunctions(HMODULE module);

}  // namespace telvarn::test
