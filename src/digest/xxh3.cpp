// The XXH3 context: xxHash's state placed in an ordinarily aligned buffer, run by one vector form.
#include "digest/xxh3.h"

// The state's layout, without xxHash's code: the forms' files compile that.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

#include "digest/xxh3_private.h"

namespace telvarn {

static_assert(sizeof(XXH3_state_t) <= 640 && alignof(XXH3_state_t) <= 64,
              "xxHash's state fits the context's buffer");

Xxh3Context::Xxh3Context(const Xxh3Variant& variant)
    : variant_(variant), functions_(*variant.kernel) {
  auto at = reinterpret_cast<std::uintptr_t>(bytes_);
  at = (at + kStateAlign - 1) & ~std::uintptr_t{kStateAlign - 1};
  state_ = reinterpret_cast<void*>(at);
  functions_.reset(state_);
}

}  // namespace telvarn
