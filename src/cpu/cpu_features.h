// What the processor offers, probed once per process at first use, for choosing the kernels.
#pragma once

namespace telvarn {

// Each instruction-set flag says the instructions can be used: a feature that needs the operating
// system to save wider registers (AVX's YMM, AVX-512's ZMM and mask registers) is
// reported only when XCR0 shows that it does.
struct CpuFeatures {
  bool mmx = false;         // 64-bit integer SIMD registers (CPUID leaf 1, EDX bit 23)
  bool sse2 = false;        // leaf 1, EDX bit 26
  bool ssse3 = false;       // leaf 1, ECX bit 9
  bool sse41 = false;       // leaf 1, ECX bit 19
  bool sse42 = false;       // leaf 1, ECX bit 20: the CRC32 instruction (CRC-32C)
  bool pclmulqdq = false;   // leaf 1, ECX bit 1: carry-less multiplication of 64-bit halves
  bool avx = false;         // leaf 1, ECX bit 28, with the OS saving YMM
  bool avx2 = false;        // leaf 7, EBX bit 5, with the OS saving YMM
  bool bmi1 = false;        // leaf 7, EBX bit 3: ANDN, and-not into a third register
  bool bmi2 = false;        // leaf 7, EBX bit 8: RORX, rotates that leave the flags alone
  bool sha = false;         // leaf 7, EBX bit 29: the SHA-1 and SHA-256 instructions
  bool avx512 = false;      // leaf 7, EBX bits 16, 30, 31 (F, BW, VL), with the OS saving ZMM
  bool avx512vbmi = false;  // leaf 7, ECX bit 1, on top of avx512
  bool vpclmulqdq = false;  // leaf 7, ECX bit 10, on top of avx2: carry-less multiply on YMM/ZMM
  // Not an instruction set: the maker and family (leaf 0's name, leaf 1's family),
  // for the rows that differ in tuning only (KernelVariant::preferred).
  bool amd_family_1ah = false;  // AuthenticAMD, family 0Fh + extended 0Bh (Zen 5)
};

// The probe runs at the first call, whenever that is (static initialisation
// included); every call returns the same values. On processors other than x86
// every feature is false.
CpuFeatures GetCpuFeatures();

}  // namespace telvarn
