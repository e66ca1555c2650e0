/* A DLL from the same toolchain with one export and nothing else: what loading
 * and unloading a module costs by itself, for the unload-cycle comparison. */
#include <stdint.h>

__declspec(dllexport) int32_t __stdcall TrivialNegate(int32_t value) { return -value; }
