// What the processor offers, probed once per process, for choosing block functions.
#pragma once

namespace telvarn {

struct CpuFeatures {
  bool mmx = false;    // 64-bit integer SIMD registers (CPUID leaf 1, EDX bit 23)
  bool sse2 = false;   // leaf 1, EDX bit 26
  bool ssse3 = false;  // leaf 1, ECX bit 9
  bool sse41 = false;  // leaf 1, ECX bit 19
  bool sha = false;    // leaf 7, EBX bit 29: the SHA-1 and SHA-256 instructions
};

// The probe runs on first use; every later call returns the same record. On
// processors other than x86 every feature is false.
const CpuFeatures& GetCpuFeatures();

}  // namespace telvarn
