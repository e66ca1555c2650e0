// XXH3 in xxHash's scalar form, which every processor runs.
#define XXH_VECTOR XXH_SCALAR
#include "digest/xxh3_form.h"

namespace telvarn::xxh3_internal {
const Xxh3Functions kXxh3Scalar = kThisForm;
}
