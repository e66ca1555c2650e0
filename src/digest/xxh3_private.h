// The XXH3 stream functions of each of xxHash's vector forms, one file each.
#pragma once

#include "digest/dispatch.h"

namespace telvarn::xxh3_internal {

extern const Xxh3Functions kXxh3Scalar;
#if defined(__i386__) || defined(__x86_64__)
extern const Xxh3Functions kXxh3Sse2;
extern const Xxh3Functions kXxh3Avx2;
extern const Xxh3Functions kXxh3Avx512;
#endif

}  // namespace telvarn::xxh3_internal
