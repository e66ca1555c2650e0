// The CPUID probe: identification bit, highest leaf, leaves 1 and 7, then XCR0.
#include "cpu/cpu_features.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace telvarn {
namespace {

#if defined(__i386__) || defined(__x86_64__)

struct CpuidRegisters {
  uint32_t eax, ebx, ecx, edx;
};

CpuidRegisters Cpuid(uint32_t leaf, uint32_t subleaf = 0) {
  CpuidRegisters r;
#if defined(__i386__)
  // EBX may hold the GOT pointer in position-independent 32-bit code: keep it.
  __asm__ volatile(
      "movl %%ebx, %%esi\n\t"
      "cpuid\n\t"
      "xchgl %%ebx, %%esi"
      : "=a"(r.eax), "=S"(r.ebx), "=c"(r.ecx), "=d"(r.edx)
      : "a"(leaf), "c"(subleaf));
#else
  __asm__ volatile("cpuid" : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx) : "a"(leaf), "c"(subleaf));
#endif
  return r;
}

// A 32-bit processor has CPUID when bit 21 of EFLAGS (ID) can be flipped.
bool HasCpuid() {
#if defined(__i386__)
  uint32_t before, after;
  __asm__ volatile(
      "pushfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "popfl"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000u) != 0;
#else
  return true;
#endif
}

// XCR0: which register states the operating system saves on a context switch.
// Only valid when CPUID says OSXSAVE (leaf 1, ECX bit 27).
uint32_t ReadXcr0() {
  uint32_t eax, edx;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return eax;
}

CpuFeatures Probe() {
  CpuFeatures features;
  if (!HasCpuid()) return features;
  const CpuidRegisters leaf0 = Cpuid(0);
  const uint32_t highest_leaf = leaf0.eax;
  if (highest_leaf == 0) return features;
  const CpuidRegisters leaf1 = Cpuid(1);
  // "AuthenticAMD" in EBX, EDX, ECX; the family is the base family plus, when that
  // is 0Fh, the extended family.
  const bool amd = leaf0.ebx == 0x68747541u && leaf0.edx == 0x69746E65u && leaf0.ecx == 0x444D4163u;
  const uint32_t base_family = (leaf1.eax >> 8) & 0xF;
  const uint32_t family = base_family == 0xF ? base_family + ((leaf1.eax >> 20) & 0xFF) : base_family;
  features.amd_family_1ah = amd && family == 0x1A;
  features.mmx = (leaf1.edx >> 23) & 1;
  features.sse2 = (leaf1.edx >> 26) & 1;
  features.ssse3 = (leaf1.ecx >> 9) & 1;
  features.sse41 = (leaf1.ecx >> 19) & 1;
  features.sse42 = (leaf1.ecx >> 20) & 1;
  features.pclmulqdq = (leaf1.ecx >> 1) & 1;
  // Bits 1 and 2 of XCR0: XMM and YMM state; bits 5 to 7: the mask registers and
  // the upper halves of ZMM0-15 and ZMM16-31.
  const bool osxsave = (leaf1.ecx >> 27) & 1;
  const uint32_t xcr0 = osxsave ? ReadXcr0() : 0;
  const bool os_saves_ymm = (xcr0 & 0x6) == 0x6;
  const bool os_saves_zmm = os_saves_ymm && (xcr0 & 0xE0) == 0xE0;
  features.avx = os_saves_ymm && ((leaf1.ecx >> 28) & 1);
  // Leaf 7 answers garbage (the highest basic leaf's values) where it does not exist.
  if (highest_leaf >= 7) {
    const CpuidRegisters leaf7 = Cpuid(7, 0);
    features.sha = (leaf7.ebx >> 29) & 1;
    features.avx2 = features.avx && ((leaf7.ebx >> 5) & 1);
    features.bmi1 = (leaf7.ebx >> 3) & 1;
    features.bmi2 = (leaf7.ebx >> 8) & 1;
    const uint32_t avx512_f_bw_vl = (1u << 16) | (1u << 30) | (1u << 31);
    features.avx512 = features.avx2 && os_saves_zmm && (leaf7.ebx & avx512_f_bw_vl) == avx512_f_bw_vl;
    features.avx512vbmi = features.avx512 && ((leaf7.ecx >> 1) & 1);
    features.vpclmulqdq = features.avx2 && features.pclmulqdq && ((leaf7.ecx >> 10) & 1);
  }
  return features;
}

#else

CpuFeatures Probe() { return CpuFeatures{}; }

#endif

// Every flag of the record, for packing it into one word.
constexpr bool CpuFeatures::*kFlags[] = {
    &CpuFeatures::mmx,  &CpuFeatures::sse2, &CpuFeatures::ssse3,  &CpuFeatures::sse41,      &CpuFeatures::sse42,
    &CpuFeatures::pclmulqdq, &CpuFeatures::avx, &CpuFeatures::avx2, &CpuFeatures::bmi1,   &CpuFeatures::bmi2,
    &CpuFeatures::sha,  &CpuFeatures::avx512, &CpuFeatures::avx512vbmi, &CpuFeatures::vpclmulqdq,
    &CpuFeatures::amd_family_1ah,
};
static_assert(sizeof(CpuFeatures) == std::size(kFlags), "a flag of CpuFeatures is missing from kFlags");

// Set in every packed record, so that zero means "not probed yet".
constexpr uint32_t kProbed = 1u << 31;

// The record, one bit a flag. Zero is its constant initial value, so it holds
// before any initialiser of the program or the module runs: a caller during
// another file's static initialisation probes then and there, rather than read a
// record that its own initialiser has yet to fill (which would choose the slowest
// kernels for the life of the process). A local static would need a guard (see
// Active in kernel_table.h). The word is the whole record: threads that probe at
// the same moment store the same value.
std::atomic<uint32_t> g_packed_features{0};

uint32_t Pack(const CpuFeatures& features) {
  uint32_t packed = kProbed;
  for (size_t i = 0; i < std::size(kFlags); ++i) {
    if (features.*kFlags[i]) packed |= 1u << i;
  }
  return packed;
}

CpuFeatures Unpack(uint32_t packed) {
  CpuFeatures features;
  for (size_t i = 0; i < std::size(kFlags); ++i) features.*kFlags[i] = ((packed >> i) & 1) != 0;
  return features;
}

}  // namespace

CpuFeatures GetCpuFeatures() {
  uint32_t packed = g_packed_features.load(std::memory_order_acquire);
  if (packed == 0) {
    packed = Pack(Probe());
    g_packed_features.store(packed, std::memory_order_release);
  }
  return Unpack(packed);
}

}  // namespace telvarn
