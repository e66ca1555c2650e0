// TelvarnHX.hpi loaded as a host loads it: its export directory, its imports, and its
// exports called through __stdcall pointers with hand-made variable descriptors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>

#include <windows.h>

#include "boundary/var_desc.h"
#include "dll/pe_image.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

struct ExpectedExport {
  uint32_t ordinal;
  const char* name;
};

constexpr ExpectedExport kExpectedExports[] = {
#define TELVARN_EXPORT(ordinal, name, member) {ordinal, "_Telvarn_" #name "@16"},
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
};

// The eighteen names written out in alphabetical order, which fixes the ordinals:
// the export table is checked against it.
constexpr const char* kAllExportNames[] = {
    "_Telvarn_Base64_Decode@16", "_Telvarn_Base64_Encode@16", "_Telvarn_CRC16@16",
    "_Telvarn_CRC32@16",         "_Telvarn_IO_Initialize@16", "_Telvarn_IO_Input_Set@16",
    "_Telvarn_IO_Key_Set@16",    "_Telvarn_IO_Output_Set@16", "_Telvarn_IO_RSA_Key_Set@16",
    "_Telvarn_IO_State@16",      "_Telvarn_IO_Suspend@16",    "_Telvarn_IO_Wait@16",
    "_Telvarn_IO_WaitAll@16",    "_Telvarn_MD5@16",           "_Telvarn_MD5Key@16",
    "_Telvarn_SHA1@16",          "_Telvarn_SHA256@16",        "_Telvarn_SHA512@16",
};

class Dll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryA("TelvarnHX.hpi");
    ASSERT_NE(module_, nullptr) << "LoadLibrary failed: " << GetLastError();
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  // Calls an export as a host does: four 32-bit arguments pushed right to left. The
  // stack pointer is compared before the pushes and after the call, so an export
  // that does not remove its own 16 bytes is caught.
  static int32_t Call(const char* name, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4) {
    FARPROC fn = GetProcAddress(module_, name);
    EXPECT_NE(fn, nullptr) << name;
    if (fn == nullptr) return 1;
    uint32_t args[4] = {a1, a2, a3, a4};
    int32_t result;
    uint32_t left_on_stack;
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "pushl 12(%%edx)\n\t"
        "pushl 8(%%edx)\n\t"
        "pushl 4(%%edx)\n\t"
        "pushl (%%edx)\n\t"
        "call *%%esi\n\t"
        "movl %%edi, %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(result), "=d"(left_on_stack)
        : "S"(fn), "d"(args)
        : "ecx", "edi", "memory", "cc");
    EXPECT_EQ(left_on_stack, 0u) << name << " must remove its 16 bytes of arguments";
    return result;
  }
  static uint32_t Ptr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
  static uint32_t Int(int32_t v) { return static_cast<uint32_t>(v); }


  static HMODULE module_;
};

HMODULE Dll::module_ = nullptr;

TEST_F(Dll, ExportsExactlyTheBuiltExportsAtTheirOrdinals) {
  static_assert(sizeof(VarDesc) == 32, "the 32-bit descriptor ends after data");
  test::ExportDirectory exports = test::ReadExports(module_);
  EXPECT_EQ(exports.module_name, "TelvarnHX.hpi");

  std::map<std::string, uint32_t> expected;
  for (const auto& e : kExpectedExports) expected[e.name] = e.ordinal;
  EXPECT_EQ(exports.ordinal_by_name, expected);
  std::vector<uint32_t> expected_ordinals;
  for (const auto& e : kExpectedExports) expected_ordinals.push_back(e.ordinal);
  std::sort(expected_ordinals.begin(), expected_ordinals.end());
  EXPECT_EQ(exports.ordinals, expected_ordinals) << "nothing exported without a name";

  for (const auto& e : kExpectedExports) {
    EXPECT_STREQ(kAllExportNames[e.ordinal - 1], e.name) << "ordinals follow the names' order";
    EXPECT_EQ(GetProcAddress(module_, e.name),
              GetProcAddress(module_, MAKEINTRESOURCEA(static_cast<WORD>(e.ordinal))));
  }
}

TEST_F(Dll, ImportsOnlyWindowsSystemDlls) {
  const std::set<std::string> system_dlls = {"kernel32.dll", "msvcrt.dll", "user32.dll",
                                             "advapi32.dll", "ntdll.dll"};
  std::vector<std::string> imports = test::ReadImportedDlls(module_);
  EXPECT_FALSE(imports.empty());
  for (std::string dll : imports) {
    std::transform(dll.begin(), dll.end(), dll.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_TRUE(system_dlls.count(dll)) << dll << " is not a Windows system DLL";
  }
}

TEST_F(Dll, InitializeAndKeysThroughTheExports) {
  EXPECT_EQ(Call("_Telvarn_IO_Key_Set@16", Ptr("key"), Int(-7), 0, 0), -1) << "absent IO";
  EXPECT_EQ(Call("_Telvarn_IO_Initialize@16", Int(-7), 0xDEADBEEF, 0xFFFFFFFF, 1), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Initialize@16", Int(-7), 0, 0, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Initialize@16", 0, 0, 0, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Key_Set@16", Ptr("key"), Int(-7), 0, 0xDEADBEEF), 0);
  std::string long_key(6000, 'k');
  EXPECT_EQ(Call("_Telvarn_IO_Key_Set@16", Ptr(long_key.c_str()), 0, 0, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Key_Set@16", Ptr(long_key.c_str()), 0, 6000, 0), 0);
}

TEST_F(Dll, BindingsThroughTheExports) {
  test::TempDir dir;
  const std::string in = dir.path("in.bin"), out = dir.path("out.txt");
  const std::string missing = dir.path("missing.bin");
  test::WriteFile(in, "0123456789");
  test::WriteFile(out, std::string(1000, 'q'));
  VarDesc in_var = test::HostVar(in.c_str()), out_var = test::HostVar(out.c_str()), missing_var = test::HostVar(missing.c_str());
  char memory[16] = "abc";
  VarDesc memory_var = test::HostVar(memory);

  EXPECT_EQ(Call("_Telvarn_IO_Input_Set@16", Ptr(&in_var), 31, TELVARN_MODE_FILE, 0), -1) << "absent IO";
  EXPECT_EQ(Call("_Telvarn_IO_Output_Set@16", Ptr(&out_var), 31, TELVARN_MODE_FILE, 0), -1) << "absent IO";
  EXPECT_EQ(std::filesystem::file_size(out), 1000u);

  ASSERT_EQ(Call("_Telvarn_IO_Initialize@16", 31, 0, 0, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Input_Set@16", Ptr(&missing_var), 31, TELVARN_MODE_FILE, 0), -1);
  EXPECT_EQ(Call("_Telvarn_IO_Input_Set@16", Ptr(&in_var), 31, TELVARN_MODE_FILE, 0), 0);
  EXPECT_TRUE(test::IsFileOpenHere(in));
  EXPECT_EQ(Call("_Telvarn_IO_Output_Set@16", Ptr(&out_var), 31, TELVARN_MODE_FILE, 0xDEADBEEF), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u) << "emptied at binding";
  EXPECT_TRUE(test::IsFileOpenHere(out));

  EXPECT_EQ(Call("_Telvarn_IO_Input_Set@16", Ptr(&memory_var), 31, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_FALSE(test::IsFileOpenHere(in)) << "replacing a file binding closes the file";
  EXPECT_EQ(Call("_Telvarn_IO_Output_Set@16", Ptr(&memory_var), 31, Int(-1), 16), 0);
  EXPECT_FALSE(test::IsFileOpenHere(out));

  EXPECT_EQ(Call("_Telvarn_IO_Output_Set@16", Ptr(&out_var), 31, TELVARN_MODE_FILE, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Initialize@16", 31, 0, 0, 0), 0);
  EXPECT_FALSE(test::IsFileOpenHere(out)) << "re-initialising closes the file";
}

TEST_F(Dll, FilesPastFourGigabytesBind) {
  test::TempDir dir;
  const std::string huge = dir.path("huge.bin");
  test::MakeSizedFile(huge, (uint64_t{1} << 32) + 5);
  VarDesc var = test::HostVar(huge.c_str());
  ASSERT_EQ(Call("_Telvarn_IO_Initialize@16", 32, 0, 0, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Input_Set@16", Ptr(&var), 32, TELVARN_MODE_FILE, 0), 0);
  EXPECT_EQ(Call("_Telvarn_IO_Initialize@16", 32, 0, 0, 0), 0);
}

}  // namespace
}  // namespace telvarn

namespace telvarn {
namespace {

// One string of a file's VERSIONINFO (US English, Unicode code page).
std::string VersionString(const std::string& file, const char* key) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return "<no version information>";
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, info.data())) return "<unreadable>";
  void* value = nullptr;
  UINT length = 0;
  std::string path = std::string("\\StringFileInfo\\040904b0\\") + key;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0) return "<missing>";
  return static_cast<const char*>(value);
}

TEST(VersionResource, TheDllAndTheProgramNameThemselves) {
  EXPECT_EQ(VersionString("TelvarnHX.hpi", "OriginalFilename"), "TelvarnHX.hpi");
  EXPECT_EQ(VersionString("TelvarnHX.hpi", "ProductName"), "TelvarnHX");
  EXPECT_EQ(VersionString("TelvarnHX.hpi", "FileVersion"), TELVARN_VERSION);
  EXPECT_NE(VersionString("TelvarnHX.hpi", "FileDescription").find("module"), std::string::npos);
  EXPECT_EQ(VersionString("telvarn.exe", "OriginalFilename"), "telvarn.exe");
  EXPECT_EQ(VersionString("telvarn.exe", "ProductName"), "TelvarnHX");
  EXPECT_EQ(VersionString("telvarn.exe", "ProductVersion"), TELVARN_VERSION);
}

}  // namespace
}  // namespace telvarn
