// A bare read of a buffer, the peer of the CRC and XXH3 rows in the native benches and the DLL bench.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "cpu/cpu_features.h"

namespace telvarn::bench {

// The ceiling of any pass over an input in memory: reading it, 32 bytes per load
// where the processor has AVX2, 8 otherwise. Returns the XOR of what it read.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline uint64_t ReadAvx2(const uint8_t* data, size_t count) {
  __m256i a = _mm256_setzero_si256(), b = a;
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    a = _mm256_xor_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i)));
    b = _mm256_xor_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 32)));
  }
  uint64_t sum = static_cast<uint32_t>(_mm256_extract_epi32(_mm256_xor_si256(a, b), 0));
  for (; i < count; ++i) sum ^= data[i];
  return sum;
}
#endif

inline uint64_t Read(const uint8_t* data, size_t count) {
#if defined(__x86_64__) || defined(__i386__)
  if (GetCpuFeatures().avx2) return ReadAvx2(data, count);
#endif
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, sizeof word);
    sum ^= word;
  }
  for (; i < count; ++i) sum ^= data[i];
  return sum;
}

}  // namespace telvarn::bench
