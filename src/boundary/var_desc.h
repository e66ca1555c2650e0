// VarDesc: the host's descriptor of a script variable, as far as the module reads it.
#pragma once

#include <cstddef>

#include "telvarn.h"

namespace telvarn {

// The record belongs to the host; the module reads `stride_words` and `data` at the
// time of a call and never writes it. The public header lays it out with 4-byte
// packing, so the native build's 64-bit pointer sits at offset 28 as well.
using VarDesc = TelvarnVarDesc;

static_assert(offsetof(VarDesc, stride_words) == 8, "the host reads stride_words at offset 8");
static_assert(offsetof(VarDesc, data) == 28, "the host reads data at offset 28");

}  // namespace telvarn
