// The byte scans under Base64 decoding: how far a text runs in the Base64 alphabet,
// and dropping line breaks. Each is a table of variants in the module's dispatch
// style, portable first, the last one the processor supports chosen once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/kernel_table.h"

namespace telvarn::cli {

// The number of bytes from the start that are letters of the Base64 alphabet.
using AlphabetRunFn = size_t (*)(const uint8_t* bytes, size_t count);
// Drops every LF and the CR before it, in place; the length left. The text must
// hold no CR but before an LF (the decoder's check sees to that).
using DropLineBreaksFn = size_t (*)(char* text, size_t count);

extern const KernelTable<AlphabetRunFn> kAlphabetRunScans;
extern const KernelTable<DropLineBreaksFn> kDropLineBreaksScans;

// The tables for the tests that go over all of them.
using EveryScanTable = TableList<kAlphabetRunScans, kDropLineBreaksScans>;

// The active variants.
size_t AlphabetRun(const uint8_t* bytes, size_t count);
size_t DropLineBreaks(char* text, size_t count);

namespace scan_internal {
size_t AlphabetRunPortable(const uint8_t* bytes, size_t count);
size_t DropLineBreaksPortable(char* text, size_t count);
#if defined(__i386__) || defined(__x86_64__)
size_t AlphabetRunSse2(const uint8_t* bytes, size_t count);
size_t DropLineBreaksSse2(char* text, size_t count);
#endif
}  // namespace scan_internal

}  // namespace telvarn::cli
