// XXH3 in xxHash's AVX2 form.
#define XXH_VECTOR XXH_AVX2
#include "digest/xxh3_form.h"

namespace telvarn::xxh3_internal {
const Xxh3Functions kXxh3Avx2 = kThisForm;
}
