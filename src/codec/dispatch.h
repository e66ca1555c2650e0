// The Base64 kernels' and the NUL scan's signatures and variant tables (filled in codec/dispatch.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/kernel_table.h"

namespace telvarn {

// Writes the Base64 text of `count` source bytes, with a CR LF after every 72
// characters and at the end when `lines`.
using Base64EncodeFn = void (*)(char* text, const uint8_t* source, size_t count, bool lines);
// Decodes text[0, length): a trimmed text (length > 0, its last character neither
// CR nor LF, no NUL inside) by the decoder's group rules, leaving off the last
// `drop` (0 to 2) bytes that the '=' tests take away. Returns the count written.
using Base64DecodeFn = size_t (*)(uint8_t* out, const char* text, size_t length, uint32_t drop);
// The count of bytes before the text's NUL.
using TextLengthFn = size_t (*)(const char* text);

extern const KernelTable<Base64EncodeFn> kBase64EncodeKernels;
extern const KernelTable<Base64DecodeFn> kBase64DecodeKernels;
// The encoder's scan of a source given as length 0 and the decoder's scan of its
// text. msvcrt's strlen (Wine's included) goes a byte per step, slower than the
// decoder itself.
extern const KernelTable<TextLengthFn> kTextLengthKernels;

using CodecKernelTables = TableList<kBase64EncodeKernels, kBase64DecodeKernels, kTextLengthKernels>;

using Base64EncodeVariant = KernelVariant<Base64EncodeFn>;
using Base64DecodeVariant = KernelVariant<Base64DecodeFn>;
using TextLengthVariant = KernelVariant<TextLengthFn>;

}  // namespace telvarn
