// XXH3 in xxHash's AVX512 form.
#define XXH_VECTOR XXH_AVX512
// GCC 12's _mm512_undefined_epi32 initialises a value from itself, which its own
// -Wmaybe-uninitialized then reports wherever xxHash's accumulation is inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "digest/xxh3_form.h"

namespace telvarn::xxh3_internal {
const Xxh3Functions kXxh3Avx512 = kThisForm;
}
