// VarDesc: the host's descriptor of a script variable, as far as the module reads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn {

// The record belongs to the host; the module reads `stride_words` and `data` at the
// time of a call and never writes the record. On 32-bit Windows the layout is the
// host's own; the native build keeps the same offsets, so a packed 4-byte alignment
// puts its 64-bit pointer at offset 28 too.
#pragma pack(push, 4)
struct VarDesc {
  int32_t host_words_0_1[2];
  // Distance, in 4-byte units, from `data` to the second section of an RSA key text.
  int32_t stride_words;
  int32_t host_words_3_6[4];
  // The variable's data: a NUL-terminated file name, a memory buffer or a key text.
  void* data;
};
#pragma pack(pop)

static_assert(offsetof(VarDesc, stride_words) == 8, "the host reads stride_words at offset 8");
static_assert(offsetof(VarDesc, data) == 28, "the host reads data at offset 28");

}  // namespace telvarn
