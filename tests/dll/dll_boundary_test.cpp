// The module of this architecture loaded as a host loads it: its image format, export
// directory, imports and version resource, and its exports called with the
// architecture's calling convention and hand-made variable descriptors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

#include "slot_table/var_desc.h"
#include "dll/minimum_windows.h"
#include "dll/pe_image.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

constexpr bool k64Bit = sizeof(void*) == 8;

// Each export: the name a host of this architecture finds it by, at the table's
// ordinal, and its 32-bit decorated name, which the 64-bit module exports as well,
// as an alias at 100 + the ordinal.
struct ExpectedExport {
  uint32_t ordinal;
  const char* name;
  const char* decorated_name;
};

constexpr ExpectedExport kExpectedExports[] = {
#define TELVARN_EXPORT(ordinal, name, member) {ordinal, TELVARN_EXPORT_NAME(name), "_Telvarn_" #name "@16"},
#include "boundary/export_table.inc"
#undef TELVARN_EXPORT
};
constexpr uint32_t kAliasOrdinalOffset = 100;

// Every name at its ordinal, written out: the eighteen that hosts have always
// called, in alphabetical order, which fixes the ordinals 1-18, then the module's
// additions from 19 in the order they were added. The export table is checked
// against it.
constexpr const char* kAllExportNames[] = {
    "_Telvarn_Base64_Decode@16", "_Telvarn_Base64_Encode@16", "_Telvarn_CRC16@16",
    "_Telvarn_CRC32@16",         "_Telvarn_IO_Initialize@16", "_Telvarn_IO_Input_Set@16",
    "_Telvarn_IO_Key_Set@16",    "_Telvarn_IO_Output_Set@16", "_Telvarn_IO_RSA_Key_Set@16",
    "_Telvarn_IO_State@16",      "_Telvarn_IO_Suspend@16",    "_Telvarn_IO_Wait@16",
    "_Telvarn_IO_WaitAll@16",    "_Telvarn_MD5@16",           "_Telvarn_MD5Key@16",
    "_Telvarn_SHA1@16",          "_Telvarn_SHA256@16",        "_Telvarn_SHA512@16",
    "_Telvarn_SHA1Key@16",       "_Telvarn_SHA256Key@16",     "_Telvarn_SHA512Key@16",
    "_Telvarn_IO_Progress@16",   "_Telvarn_Digest@16",        "_Telvarn_Algorithm_Info@16",
};
constexpr size_t kOriginalExports = 18;

class Dll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryA(TELVARN_MODULE_NAME);
    ASSERT_NE(module_, nullptr) << "LoadLibrary failed: " << GetLastError();
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  // One argument as a host passes it. A pointer fills its slot. A 32-bit integer
  // fills a 32-bit stack slot on i686; on x86-64 it travels in a 64-bit register
  // whose upper half the caller need not clear, so it carries noise there, which
  // the export must ignore.
  struct Pointer {
    uintptr_t bits;
  };
  struct Arg {
    Arg(uint32_t value) : bits(kUpperNoise | value) {}
    Arg(Pointer pointer) : bits(pointer.bits) {}
    uintptr_t bits;
  };
#if defined(_WIN64)
  static constexpr uintptr_t kUpperNoise = uintptr_t{0xA5C3E187} << 32;
#else
  static constexpr uintptr_t kUpperNoise = 0;
#endif

  // Calls an export by its name as a host does, with four arguments.
  static int32_t Call(const char* name, Arg a1, Arg a2, Arg a3, Arg a4) {
    FARPROC fn = GetProcAddress(module_, name);
    EXPECT_NE(fn, nullptr) << name;
    if (fn == nullptr) return 1;
#if defined(_WIN64)
    // The Windows x64 convention: the four arguments in RCX, RDX, R8 and R9, whole;
    // the caller owns the stack. The result is read from EAX alone.
    using AnyExport = int32_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t);
    return reinterpret_cast<AnyExport>(reinterpret_cast<void*>(fn))(a1.bits, a2.bits, a3.bits, a4.bits);
#else
    // __stdcall: four 32-bit arguments pushed right to left. The stack pointer is
    // compared before the pushes and after the call, so an export that does not
    // remove its own 16 bytes is caught.
    uint32_t args[4] = {a1.bits, a2.bits, a3.bits, a4.bits};
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
#endif
  }
  static Pointer Ptr(const void* p) { return {reinterpret_cast<uintptr_t>(p)}; }
  static uint32_t Int(int32_t v) { return static_cast<uint32_t>(v); }

  static HMODULE module_;
};

HMODULE Dll::module_ = nullptr;

TEST_F(Dll, IsAnImageOfThisArchitecture) {
  EXPECT_STREQ(TELVARN_MODULE_NAME, k64Bit ? "TelvarnHX64.hpi" : "TelvarnHX.hpi");
  const test::ImageFormat format = test::ReadImageFormat(module_);
  EXPECT_EQ(format.machine, k64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(format.pe32_plus, k64Bit) << "PE32+ on 64-bit Windows, PE32 on 32-bit";
}

TEST_F(Dll, ExportsExactlyTheBuiltExportsAtTheirOrdinals) {
  test::ExportDirectory exports = test::ReadExports(module_);
  EXPECT_EQ(exports.module_name, TELVARN_MODULE_NAME);

  std::map<std::string, uint32_t> expected;
  for (const auto& e : kExpectedExports) {
    expected[e.name] = e.ordinal;
    if (k64Bit) expected[e.decorated_name] = kAliasOrdinalOffset + e.ordinal;
  }
  EXPECT_EQ(exports.ordinal_by_name, expected);
  std::vector<uint32_t> expected_ordinals;
  for (const auto& [name, ordinal] : expected) expected_ordinals.push_back(ordinal);
  std::sort(expected_ordinals.begin(), expected_ordinals.end());
  EXPECT_EQ(exports.ordinals, expected_ordinals) << "nothing exported without a name";

  for (size_t i = 1; i < kOriginalExports; ++i) {
    EXPECT_LT(std::strcmp(kAllExportNames[i - 1], kAllExportNames[i]), 0) << "the eighteen in alphabetical order";
  }
  for (const auto& e : kExpectedExports) {
    ASSERT_LE(e.ordinal, std::size(kAllExportNames)) << e.decorated_name;
    EXPECT_STREQ(kAllExportNames[e.ordinal - 1], e.decorated_name) << "each name at its ordinal";
    const std::string decorated = e.decorated_name;
    EXPECT_EQ(e.name, k64Bit ? decorated.substr(1, decorated.size() - 4) : decorated)
        << "64-bit Windows finds the plain C name, 32-bit the __stdcall name";
    const FARPROC function = GetProcAddress(module_, e.name);
    EXPECT_NE(function, nullptr) << e.name;
    EXPECT_EQ(function, GetProcAddress(module_, MAKEINTRESOURCEA(static_cast<WORD>(e.ordinal)))) << e.name;
    if (k64Bit) {
      EXPECT_EQ(GetProcAddress(module_, e.decorated_name), function) << e.decorated_name << " is an alias";
      EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(static_cast<WORD>(kAliasOrdinalOffset + e.ordinal))),
                function)
          << e.decorated_name << "'s ordinal";
    }
  }
}

// Every function the image imports exists on the minimum Windows, so that the
// image loads there, and its header claims that minimum, neither an older Windows
// that would refuse it for a missing function nor a newer one that it could run on.
void ExpectRunsOnMinimumWindows(HMODULE image, const std::string& what) {
  const std::vector<test::ImportedFunction> imports = test::ReadImportedFunctions(image);
  EXPECT_FALSE(imports.empty()) << what;
  for (const test::ImportedFunction& function : imports) {
    const std::string name = function.name.empty() ? "#" + std::to_string(function.ordinal) : function.name;
    EXPECT_TRUE(test::MinimumWindowsHas(function.dll, function.name))
        << what << " imports " << function.dll << "!" << name << ", which " << test::kMinimumWindowsName
        << " does not have (tests/dll/minimum_windows.h)";
  }
  const test::ImageVersions versions = test::ReadImageVersions(image);
  EXPECT_EQ(versions.major_operating_system, test::kMinimumWindowsMajor) << what;
  EXPECT_EQ(versions.minor_operating_system, test::kMinimumWindowsMinor) << what;
  EXPECT_EQ(versions.major_subsystem, test::kMinimumWindowsMajor) << what;
  EXPECT_EQ(versions.minor_subsystem, test::kMinimumWindowsMinor) << what;
}

TEST_F(Dll, ImportsOnlyWhatTheMinimumWindowsHas) {
  ExpectRunsOnMinimumWindows(module_, TELVARN_MODULE_NAME);
  // winpthreads' signs, which the allow-list above keeps for the programs: the
  // module's runtime takes its thread calls from platform/win32/runtime_threads.cpp.
  for (const test::ImportedFunction& function : test::ReadImportedFunctions(module_)) {
    for (const char* winpthreads_call : {"TlsAlloc", "CreateEventA", "CreateSemaphoreA"}) {
      EXPECT_NE(function.name, winpthreads_call) << TELVARN_MODULE_NAME << " links winpthreads again";
    }
  }
}

// telvarn.exe beside the tests, mapped as an image whose imports are not resolved:
// its headers and tables as the loader lays them out, and no program started.
TEST(CommandLineProgram, ImportsOnlyWhatTheMinimumWindowsHas) {
  HMODULE mapping = LoadLibraryExA("telvarn.exe", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(mapping, nullptr) << "cannot map telvarn.exe: " << GetLastError();
  // The handle of a resource mapping carries flags in its low bits; the image starts
  // at the page below.
  auto* image = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(mapping) & ~uintptr_t{0xFFF});
  ExpectRunsOnMinimumWindows(image, "telvarn.exe");
  FreeLibrary(mapping);
}

TEST_F(Dll, InitializeAndKeysThroughTheExports) {
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Key_Set), Ptr("key"), Int(-7), 0, 0), -1) << "absent IO";
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), Int(-7), 0xDEADBEEF, 0xFFFFFFFF, 1), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), Int(-7), 0, 0, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 0, 0, 0, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Key_Set), Ptr("key"), Int(-7), 0, 0xDEADBEEF), 0);
  std::string long_key(6000, 'k');
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Key_Set), Ptr(long_key.c_str()), 0, 0, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Key_Set), Ptr(long_key.c_str()), 0, 6000, 0), 0);
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

  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&in_var), 31, TELVARN_MODE_FILE, 0), -1) << "absent IO";
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(&out_var), 31, TELVARN_MODE_FILE, 0), -1) << "absent IO";
  EXPECT_EQ(std::filesystem::file_size(out), 1000u);

  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 31, 0, 0, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&missing_var), 31, TELVARN_MODE_FILE, 0), -1);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&in_var), 31, TELVARN_MODE_FILE, 0), 0);
  EXPECT_TRUE(test::IsFileOpenHere(in));
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(&out_var), 31, TELVARN_MODE_FILE, 0xDEADBEEF), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u) << "emptied at binding";
  EXPECT_TRUE(test::IsFileOpenHere(out));

  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&memory_var), 31, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_FALSE(test::IsFileOpenHere(in)) << "replacing a file binding closes the file";
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(&memory_var), 31, Int(-1), 16), 0);
  EXPECT_FALSE(test::IsFileOpenHere(out));

  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(&out_var), 31, TELVARN_MODE_FILE, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 31, 0, 0, 0), 0);
  EXPECT_FALSE(test::IsFileOpenHere(out)) << "re-initialising closes the file";
}

// A variable descriptor laid out by hand as the script interpreter lays it out,
// not through the header's struct: stride_words at byte 8, the data pointer at
// byte 28 (32-bit) or 32 (64-bit), every other byte noise.
std::vector<uint8_t> HandMadeRecord(const void* data, int32_t stride_words) {
  const size_t data_offset = k64Bit ? 32 : 28;
  std::vector<uint8_t> record(data_offset + sizeof data, 0xCC);
  std::memcpy(&record[8], &stride_words, sizeof stride_words);
  std::memcpy(&record[data_offset], &data, sizeof data);
  return record;
}

TEST_F(Dll, JobsAndKeysReadHandMadeRecordsAtTheirOffsets) {
  char input[] = "123456789";
  char output[9];
  std::memset(output, '#', sizeof output);
  const std::vector<uint8_t> in = HandMadeRecord(input, 0), out = HandMadeRecord(output, 0);
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 33, 0, 0, 0), 0);
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(in.data()), 33, TELVARN_MODE_MEMORY, 9), 0);
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(out.data()), 33, TELVARN_MODE_MEMORY, 8), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(CRC32), 33, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0), 0);
  EXPECT_EQ(std::string(output, sizeof output), "CBF43926#");
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_State), 33, 0, 0, 0), -TELVARN_JOB_FINISHED);

  // The progress counts land at the record's data, and nothing past them.
  uint32_t counts[5] = {0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC};
  const std::vector<uint8_t> counts_record = HandMadeRecord(counts, 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Progress), 33, Ptr(counts_record.data()), 0xDEADBEEF, 0xFFFFFFFF),
            TELVARN_PROGRESS_FINISHED);
  EXPECT_EQ(counts[0], 9u);
  EXPECT_EQ(counts[1], 0u);
  EXPECT_EQ(counts[2], 9u);
  EXPECT_EQ(counts[3], 0u);
  EXPECT_EQ(counts[4], 0xCCCCCCCCu);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Progress), 33, Ptr(nullptr), 0, 0), TELVARN_PROGRESS_FINISHED);

  // "&" + Base64 of 01 02 03, and 4 words on "#" + Base64 of "foo": both sections
  // count only if the stride is read where the host wrote it.
  char key_text[32] = {};
  std::memcpy(key_text, "&AQID", 5);
  std::memcpy(key_text + 16, "#Zm9v", 5);
  const std::vector<uint8_t> key = HandMadeRecord(key_text, 4);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_RSA_Key_Set), Ptr(key.data()), 33, 0, 0), -3);

  // The door: SHA-224 of the same record's input, keyed and queued flags clear;
  // Algorithm_Info's name at the record's data, within the room given and no further.
  char digest[57];
  std::memset(digest, '#', sizeof digest);
  const std::vector<uint8_t> digest_record = HandMadeRecord(digest, 0);
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(in.data()), 33, TELVARN_MODE_MEMORY, 9), 0);
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(digest_record.data()), 33, TELVARN_MODE_MEMORY, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(Digest), 33, TELVARN_ALGORITHM_SHA224, 0, 0xDEADBEEF), 0);
  EXPECT_EQ(std::string(digest, sizeof digest), "9B3E61BF29F17C75572FAE2E86E17809A4513D07C8A18152ACF34521#");
  char name[13];
  std::memset(name, '#', sizeof name);
  const std::vector<uint8_t> name_record = HandMadeRecord(name, 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(Algorithm_Info), TELVARN_ALGORITHM_SHA512_256, Ptr(name_record.data()), 11, 0),
            -1);
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(Algorithm_Info), TELVARN_ALGORITHM_SHA512_256, Ptr(name_record.data()), 12,
                 0xFFFFFFFF),
            -64);
  EXPECT_EQ(std::string(name, sizeof name), std::string("SHA-512/256\0#", 13));
}

TEST_F(Dll, Base64ThroughTheExportsReadsA32BitLength) {
  char text[16];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(Base64_Encode), Ptr(text), Ptr("foobar and more"), 6,
                 TELVARN_BASE64_ONE_LINE),
            -8);
  EXPECT_STREQ(text, "Zm9vYmFy");
  char bytes[8];
  std::memset(bytes, '#', sizeof bytes);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(Base64_Decode), Ptr(bytes), Ptr(text), 0, 0), -6);
  EXPECT_EQ(std::string(bytes, sizeof bytes), "foobar##");
}

// A careless host's null pointers: no record, a record whose data is null, no key,
// no Base64 destination or source. Each call returns its export's refusal and
// changes nothing: the IO's input, output and key stay as bound (its keyed job
// then gives what it gave before), and neither Base64 buffer is touched (the
// source keeps the CR LF that a decoding trims).
TEST_F(Dll, NullPointersAreRefusedAndChangeNothing) {
  constexpr int32_t kIo = 35;
  const VarDesc no_data = test::HostVar(nullptr);
  char source[] = "QUJD\r\n";
  char destination[8];
  constexpr const char* kInputSet = TELVARN_EXPORT_NAME(IO_Input_Set);
  constexpr const char* kOutputSet = TELVARN_EXPORT_NAME(IO_Output_Set);
  constexpr const char* kKeySet = TELVARN_EXPORT_NAME(IO_Key_Set);
  constexpr const char* kRsaKeySet = TELVARN_EXPORT_NAME(IO_RSA_Key_Set);
  constexpr const char* kEncode = TELVARN_EXPORT_NAME(Base64_Encode);
  constexpr const char* kDecode = TELVARN_EXPORT_NAME(Base64_Decode);
  constexpr uint32_t kFile = TELVARN_MODE_FILE, kMemory = TELVARN_MODE_MEMORY;
  const struct {
    const char* what;
    int32_t refusal;
    std::function<int32_t()> call;
  } rows[] = {
      {"input, no record", -1, [&] { return Call(kInputSet, Ptr(nullptr), kIo, kMemory, 0); }},
      {"input file, no name", -1, [&] { return Call(kInputSet, Ptr(&no_data), kIo, kFile, 0); }},
      {"input memory, measured", -1, [&] { return Call(kInputSet, Ptr(&no_data), kIo, kMemory, 0); }},
      {"input memory, read by the job", -1, [&] { return Call(kInputSet, Ptr(&no_data), kIo, kMemory, 5); }},
      {"output, no record", -1, [&] { return Call(kOutputSet, Ptr(nullptr), kIo, kMemory, 0); }},
      {"output file, no name", -1, [&] { return Call(kOutputSet, Ptr(&no_data), kIo, kFile, 0); }},
      {"output memory, written by the job", -1, [&] { return Call(kOutputSet, Ptr(&no_data), kIo, kMemory, 32); }},
      {"key, measured", -1, [&] { return Call(kKeySet, Ptr(nullptr), kIo, 0, 0); }},
      {"key of 3 bytes", -1, [&] { return Call(kKeySet, Ptr(nullptr), kIo, 3, 0); }},
      {"RSA key, no record", -1, [&] { return Call(kRsaKeySet, Ptr(nullptr), kIo, 0, 0); }},
      {"RSA key, no text", -1, [&] { return Call(kRsaKeySet, Ptr(&no_data), kIo, 0, 0); }},
      {"progress counts, no data", 0,
       [&] { return Call(TELVARN_EXPORT_NAME(IO_Progress), kIo, Ptr(&no_data), 0, 0); }},
      {"encode, no destination", 0, [&] { return Call(kEncode, Ptr(nullptr), Ptr(source), 3, 0); }},
      {"encode, no source, measured", 0, [&] { return Call(kEncode, Ptr(destination), Ptr(nullptr), 0, 1); }},
      {"encode, no source of 3 bytes", 0, [&] { return Call(kEncode, Ptr(destination), Ptr(nullptr), 3, 0); }},
      {"decode, no destination", 0, [&] { return Call(kDecode, Ptr(nullptr), Ptr(source), 0, 0); }},
      {"decode, no source", 0, [&] { return Call(kDecode, Ptr(destination), Ptr(nullptr), 0, 0); }},
  };
  const char message[] = "The quick brown fox jumps over the lazy dog";
  const VarDesc input = test::HostVar(message);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    char digest[33];
    std::memset(digest, '#', sizeof digest);
    const VarDesc output = test::HostVar(digest);
    ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), kIo, 0, 0, 0), 0);
    ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&input), kIo, TELVARN_MODE_MEMORY, 0), 0);
    ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Output_Set), Ptr(&output), kIo, TELVARN_MODE_MEMORY, 32), 0);
    ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Key_Set), Ptr("key"), kIo, 0, 0), 0);
    std::memset(destination, '#', sizeof destination);

    EXPECT_EQ(row.call(), row.refusal);

    EXPECT_STREQ(source, "QUJD\r\n");
    EXPECT_EQ(std::string(destination, sizeof destination), std::string(sizeof destination, '#'));
    EXPECT_EQ(Call(TELVARN_EXPORT_NAME(MD5Key), kIo, TELVARN_RUN_NOW, 0, 0), 0);
    EXPECT_EQ(std::string(digest, sizeof digest), "80070713463e7749b90c2dc24911e275#")
        << "HMAC-MD5 of the message under \"key\"";
  }
}

TEST_F(Dll, FilesPastFourGigabytesBind) {
  test::TempDir dir;
  const std::string huge = dir.path("huge.bin");
  test::MakeSizedFile(huge, (uint64_t{1} << 32) + 5);
  VarDesc var = test::HostVar(huge.c_str());
  ASSERT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 32, 0, 0, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Input_Set), Ptr(&var), 32, TELVARN_MODE_FILE, 0), 0);
  EXPECT_EQ(Call(TELVARN_EXPORT_NAME(IO_Initialize), 32, 0, 0, 0), 0);
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
  const std::string module = TELVARN_MODULE_NAME;
  EXPECT_EQ(VersionString(module, "OriginalFilename"), module);
  EXPECT_EQ(VersionString(module, "InternalName") + ".hpi", module);
  EXPECT_EQ(VersionString(module, "ProductName"), "TelvarnHX");
  EXPECT_EQ(VersionString(module, "FileVersion"), TELVARN_VERSION);
  EXPECT_NE(VersionString(module, "FileDescription").find("module"), std::string::npos);
  EXPECT_EQ(VersionString("telvarn.exe", "OriginalFilename"), "telvarn.exe");
  EXPECT_EQ(VersionString("telvarn.exe", "ProductName"), "TelvarnHX");
  EXPECT_EQ(VersionString("telvarn.exe", "ProductVersion"), TELVARN_VERSION);
}

}  // namespace
}  // namespace telvarn
