// XXH3 in xxHash's SSE2 form.
#define XXH_VECTOR XXH_SSE2
#include "digest/xxh3_form.h"

namespace telvarn::xxh3_internal {
const Xxh3Functions kXxh3Sse2 = kThisForm;
}
