// The portable byte scans under Base64 decoding, and the variant tables that the
// active scans are chosen from.
#include "cli/base64_scan.h"

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

namespace {

using namespace scan_internal;

// A 32-bit build may meet a processor without SSE2: the SSE2 rows ask the probe
// that chooses the module's kernels.
const KernelVariant<AlphabetRunFn> kAlphabetRunVariants[] = {
    {"portable", &AlphabetRunPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse2", &AlphabetRunSse2, &HasSse2},
#endif
};

const KernelVariant<DropLineBreaksFn> kDropLineBreaksVariants[] = {
    {"portable", &DropLineBreaksPortable, &Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse2", &DropLineBreaksSse2, &HasSse2},
#endif
};

}  // namespace

const KernelTable<AlphabetRunFn> kAlphabetRunScans = TableOf("alphabet-run", kAlphabetRunVariants);
const KernelTable<DropLineBreaksFn> kDropLineBreaksScans = TableOf("drop-line-breaks", kDropLineBreaksVariants);

size_t AlphabetRun(const uint8_t* bytes, size_t count) {
  return Active<kAlphabetRunScans>().kernel(bytes, count);
}

size_t DropLineBreaks(char* text, size_t count) {
  return Active<kDropLineBreaksScans>().kernel(text, count);
}

}  // namespace telvarn::cli
