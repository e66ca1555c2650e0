// One vector form of XXH3's stream functions, in the file that sets XXH_VECTOR before including this once.
#pragma once

#ifndef XXH_VECTOR
#error "the including file chooses xxHash's vector form"
#endif

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "digest/xxh3_private.h"

namespace telvarn::xxh3_internal {
namespace {

XXH3_state_t* StateOf(void* state) { return static_cast<XXH3_state_t*>(state); }
const XXH3_state_t* StateOf(const void* state) { return static_cast<const XXH3_state_t*>(state); }

// xxHash's 128-bit stream shares the 64-bit one's reset and update, and differs
// only in its digest.
void Reset(void* state) { XXH3_64bits_reset(StateOf(state)); }
void Update(void* state, const uint8_t* data, size_t count) { XXH3_64bits_update(StateOf(state), data, count); }
uint64_t Digest64(const void* state) { return XXH3_64bits_digest(StateOf(state)); }
void Digest128(const void* state, uint64_t out[2]) {
  const XXH128_hash_t hash = XXH3_128bits_digest(StateOf(state));
  out[0] = hash.high64;
  out[1] = hash.low64;
}

}  // namespace

inline constexpr Xxh3Functions kThisForm{&Reset, &Update, &Digest64, &Digest128};

}  // namespace telvarn::xxh3_internal
