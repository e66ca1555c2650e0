/* example.c: a C host of TelvarnHX.hpi or, built for x64, TelvarnHX64.hpi. It digests a
 * file with a synchronous SHA-256 job and a queued MD5 job, takes the CRC-32 of bytes in
 * memory, and Base64-encodes them. Build it one of three ways (see README.md); for x64
 * run the same commands in x64/, with -I.. and ../example.c:
 *
 *   mingw-w64, import library:  i686-w64-mingw32-gcc example.c libTelvarnHX.dll.a -o example.exe
 *                               x86_64-w64-mingw32-gcc -I.. ../example.c libTelvarnHX64.dll.a -o example.exe
 *   MSVC, import library:       lib /def:TelvarnHX.def /machine:x86 /out:TelvarnHX.lib
 *                               cl example.c TelvarnHX.lib
 *                               (x64: TelvarnHX64.def, /machine:x64, TelvarnHX64.lib)
 *   LoadLibrary, no library:    add -DTELVARN_EXAMPLE_LOADLIBRARY (cl: /DTELVARN_EXAMPLE_LOADLIBRARY)
 *
 * usage: example FILE   (the module, TELVARN_MODULE_NAME, beside example.exe) */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "telvarn.h"

#ifdef TELVARN_EXAMPLE_LOADLIBRARY
#include <windows.h>

static PFN_Telvarn_IO_Initialize io_initialize;
static PFN_Telvarn_IO_Input_Set io_input_set;
static PFN_Telvarn_IO_Output_Set io_output_set;
static PFN_Telvarn_IO_Wait io_wait;
static PFN_Telvarn_SHA256 sha256;
static PFN_Telvarn_MD5 md5;
static PFN_Telvarn_CRC32 crc32;
static PFN_Telvarn_Base64_Encode base64_encode;

/* Each export by its name for this architecture (TELVARN_EXPORT_NAME), but SHA-256 by
 * its ordinal (17, the same in both modules) and MD5 by its 32-bit name, which the
 * 64-bit module answers to as well. */
static int load_module(void) {
  HMODULE module = LoadLibraryA(TELVARN_MODULE_NAME);
  if (module == NULL) return 0;
  io_initialize = (PFN_Telvarn_IO_Initialize)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(IO_Initialize));
  io_input_set = (PFN_Telvarn_IO_Input_Set)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(IO_Input_Set));
  io_output_set = (PFN_Telvarn_IO_Output_Set)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(IO_Output_Set));
  io_wait = (PFN_Telvarn_IO_Wait)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(IO_Wait));
  sha256 = (PFN_Telvarn_SHA256)(void (*)(void))GetProcAddress(module, MAKEINTRESOURCEA(17));
  md5 = (PFN_Telvarn_MD5)(void (*)(void))GetProcAddress(module, "_Telvarn_MD5@16");
  crc32 = (PFN_Telvarn_CRC32)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(CRC32));
  base64_encode = (PFN_Telvarn_Base64_Encode)(void (*)(void))GetProcAddress(module, TELVARN_EXPORT_NAME(Base64_Encode));
  return io_initialize && io_input_set && io_output_set && io_wait && sha256 && md5 && crc32 && base64_encode;
}
#else
#define io_initialize Telvarn_IO_Initialize
#define io_input_set Telvarn_IO_Input_Set
#define io_output_set Telvarn_IO_Output_Set
#define io_wait Telvarn_IO_Wait
#define sha256 Telvarn_SHA256
#define md5 Telvarn_MD5
#define crc32 Telvarn_CRC32
#define base64_encode Telvarn_Base64_Encode
static int load_module(void) { return 1; }
#endif

int main(int argc, char** argv) {
  char sha256_text[65] = {0}; /* the jobs write their characters, no NUL */
  char md5_text[33] = {0};
  char crc32_text[9] = {0};
  char memory[] = "abc";
  char base64_text[8] = {0};
  TelvarnVarDesc input, output;
  if (argc != 2) {
    fprintf(stderr, "usage: example FILE\n");
    return 2;
  }
  if (!load_module()) {
    fprintf(stderr, "example: cannot load %s\n", TELVARN_MODULE_NAME);
    return 2;
  }
  printf("TelvarnHX %s\n", TELVARN_VERSION_STRING);
  memset(&input, 0, sizeof input);
  memset(&output, 0, sizeof output);

  /* SHA-256 of the file, synchronously: the call returns with the result written. */
  io_initialize(1, 0, 0, 0);
  input.data = argv[1];
  if (io_input_set(&input, 1, TELVARN_MODE_FILE, 0) != 0) {
    fprintf(stderr, "example: cannot open %s\n", argv[1]);
    return 1;
  }
  output.data = sha256_text;
  io_output_set(&output, 1, TELVARN_MODE_MEMORY, 64);
  sha256(1, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0);
  printf("SHA256 %s\n", sha256_text);

  /* MD5 of the same file as a queued job, waited for. */
  io_initialize(2, 0, 0, 0);
  io_input_set(&input, 2, TELVARN_MODE_FILE, 0);
  output.data = md5_text;
  io_output_set(&output, 2, TELVARN_MODE_MEMORY, 32);
  md5(2, TELVARN_QUEUE, TELVARN_PRIORITY_NORMAL, 0);
  io_wait(2, TELVARN_WAIT_INFINITE, 0, 0);
  printf("MD5 %s\n", md5_text);

  /* CRC-32 of three bytes in memory. */
  input.data = memory;
  io_input_set(&input, 1, TELVARN_MODE_MEMORY, 3);
  output.data = crc32_text;
  io_output_set(&output, 1, TELVARN_MODE_MEMORY, 8);
  crc32(1, TELVARN_RUN_NOW, TELVARN_PRIORITY_NORMAL, 0);
  printf("CRC32 %s\n", crc32_text);

  /* Base64 of the same bytes: the result is minus the text's length. */
  {
    int32_t length = -base64_encode(base64_text, memory, 3, TELVARN_BASE64_ONE_LINE);
    printf("Base64 %s (%d)\n", base64_text, (int)length);
  }
  return 0;
}
