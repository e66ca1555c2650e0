// The portable byte scans under Base64 decoding, and the choice of SSE2 where the
// processor has it.
#include "cli/base64_scan.h"

#include "digest/x86/cpu_features.h"

namespace telvarn::cli {
namespace scan_internal {

namespace {
bool InAlphabet(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}
}  // namespace

size_t AlphabetRunPortable(const uint8_t* bytes, size_t count) {
  size_t run = 0;
  while (run < count && InAlphabet(bytes[run])) ++run;
  return run;
}

size_t DropLineBreaksPortable(char* text, size_t count) {
  size_t out = 0;
  for (size_t in = 0; in < count; ++in) {
    const char c = text[in];
    if (c != '\n' && c != '\r') text[out++] = c;
  }
  return out;
}

}  // namespace scan_internal

#if defined(__i386__) || defined(__x86_64__)
namespace {
// A 32-bit build may meet a processor without SSE2: the probe that chooses the
// module's kernels decides here too.
const bool kHasSse2 = GetCpuFeatures().sse2;
}  // namespace
#endif

size_t AlphabetRun(const uint8_t* bytes, size_t count) {
#if defined(__i386__) || defined(__x86_64__)
  if (kHasSse2) return scan_internal::AlphabetRunSse2(bytes, count);
#endif
  return scan_internal::AlphabetRunPortable(bytes, count);
}

size_t DropLineBreaks(char* text, size_t count) {
#if defined(__i386__) || defined(__x86_64__)
  if (kHasSse2) return scan_internal::DropLineBreaksSse2(text, count);
#endif
  return scan_internal::DropLineBreaksPortable(text, count);
}

}  // namespace telvarn::cli
