// VarDesc: the host's descriptor of a script variable, as far as the module reads it.
#pragma once

#include <cstddef>

#include "telvarn.h"

namespace telvarn {

// The record belongs to the host; the module reads `stride_words` and `data` at the
// time of a call and never writes it. The public header packs it to 4 bytes with
// 32-bit pointers and gives it its natural layout with 64-bit ones (TelvarnHX64.hpi,
// and the native build).
using VarDesc = TelvarnVarDesc;

static_assert(offsetof(VarDesc, stride_words) == 8, "the host reads stride_words at offset 8");
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "a host's pointers are 32 or 64 bits wide");
static_assert(offsetof(VarDesc, data) == (sizeof(void*) == 4 ? 28 : 32),
              "the host reads data at offset 28 (32-bit) or 32 (64-bit)");
static_assert(sizeof(VarDesc) == (sizeof(void*) == 4 ? 32 : 40),
              "the record ends after data: 32 bytes (32-bit) or 40 (64-bit)");

}  // namespace telvarn
