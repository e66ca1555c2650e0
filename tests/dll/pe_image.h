// Reads the export directory and the import table of a module mapped in this process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

namespace telvarn::test {

struct ExportDirectory {
  std::string module_name;
  std::map<std::string, uint32_t> ordinal_by_name;
  // Ordinals whose address slot is filled, named or not.
  std::vector<uint32_t> ordinals;
};

ExportDirectory ReadExports(HMODULE module);
std::vector<std::string> ReadImportedDlls(HMODULE module);

}  // namespace telvarn::test
