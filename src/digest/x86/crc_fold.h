// Fold constants for the carry-less-multiplication CRC updates, derived at compile time from the polynomial.
//
// A 16-byte block loaded little-endian is a polynomial of degree < 128 whose bit j
// is the coefficient of x^(127-j): the reflected order, in which the first bit of
// the message is the highest power. Its low 64-bit lane H is the high half, its
// high lane L the low half. Moving the block forward by D bits multiplies it by
// x^D, and modulo the CRC polynomial P of degree n:
//   H*x^(64+D) + L*x^D  ==  H*(x^(64+D) mod P) + L*(x^D mod P).
// Carry-less multiplying two 64-bit reflected operands yields the reflected product
// shifted by one place, so the multipliers must be congruent to x^(D+63) and
// x^(D-1): for n < 64, x^(D+n) and x^(D+n-64) mod P, reflected into n bits and
// shifted up one (times x^(63-n)), n+1 significant bits; for n = 64, x^(D+63) and
// x^(D-1) mod P themselves. A 64-bit half times such a constant has fewer than 128
// bits and lands where the block D bits later sits, so folding is the same for
// every width.
//
// These functions run only in constant expressions; variant files compiled with
// wider instruction sets include this header, and no out-of-line copy of them may
// end up shared with baseline code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/crc_private.h"
#include "digest/dispatch.h"

namespace telvarn::crc_internal {

// x^k mod P in the reflected order of an n-bit CRC register: bit i holds the
// coefficient of x^(n-1-i). Multiplying by x is the register's shift; the
// coefficient that reaches x^n is replaced by P's lower terms.
constexpr uint64_t ReflectedPowerMod(uint64_t reflected_polynomial, unsigned width, uint32_t k) {
  uint64_t remainder = uint64_t{1} << (width - 1);
  for (uint32_t i = 0; i < k; ++i) {
    remainder = (remainder & 1) ? (remainder >> 1) ^ reflected_polynomial : remainder >> 1;
  }
  return remainder;
}

// The multipliers for moving a block forward by `distance_bits`: `high` for the low
// lane (the block's high-order half), `low` for the high lane.
struct FoldKeys {
  uint64_t high;
  uint64_t low;
};

constexpr FoldKeys MakeFoldKeys(uint64_t reflected_polynomial, unsigned width, uint32_t distance_bits) {
  if (width == 64) {
    return FoldKeys{ReflectedPowerMod(reflected_polynomial, width, distance_bits + 63),
                    ReflectedPowerMod(reflected_polynomial, width, distance_bits - 1)};
  }
  return FoldKeys{ReflectedPowerMod(reflected_polynomial, width, distance_bits + width) << 1,
                  ReflectedPowerMod(reflected_polynomial, width, distance_bits + width - 64) << 1};
}

// The last block X = H*x^64 + L becomes the register X*x^n mod P in three
// multiplications. First A = H*(x^(64+n) mod P) + L*x^n, congruent and of degree
// < 64+n: the product with the fold constant for 8 bytes leaves floor(A / x^n) in
// its low lane (after adding L) and A mod x^n, already in register order, in its
// high lane. Then Barrett reduction: with mu = floor(x^(n+64) / P) = x^64 + mu',
// the quotient is q = A1 + floor(A1*mu' / x^64), exact for polynomials, and the
// remainder is A0 + (q*(P - x^n) mod x^n). For n = 64, P - x^n has 64 bits and its
// reflected form shifted up one would not fit: the multiplier is (P - 1) / x
// instead, and q*P = x*q*(P - 1)/x + q, the product plus q itself.
struct ReduceKeys {
  uint64_t high;        // reflected x^(64+n) mod P, shifted up one (x^127 mod P for n = 64)
  uint64_t quotient;    // mu' reflected into 64 bits
  uint64_t polynomial;  // P without x^n, reflected and shifted up one ((P - 1) / x for n = 64)
};

// mu' by long division: each step of x^t mod P that reduces by P adds a quotient bit.
constexpr uint64_t BarrettQuotient(uint64_t reflected_polynomial, unsigned width) {
  uint64_t remainder = uint64_t{1} << (width - 1);
  uint64_t quotient = 0;
  for (unsigned t = 0; t < width + 64; ++t) {
    const uint64_t top = remainder & 1;
    quotient = quotient << 1 | top;
    remainder = top ? (remainder >> 1) ^ reflected_polynomial : remainder >> 1;
  }
  uint64_t reflected = 0;
  for (int bit = 0; bit < 64; ++bit) reflected |= ((quotient >> bit) & 1) << (63 - bit);
  return reflected;
}

// A CRC the folding variants serve: its reflected polynomial, its width in bits, and
// the table update that takes short inputs and the last block. The register is
// uint32_t for widths up to 32, uint64_t for 64.
template <class Register>
struct FoldedCrc {
  Register reflected_polynomial;
  unsigned width;
  Register (*table_update)(Register crc, const uint8_t* data, size_t count);
  constexpr FoldKeys Keys(uint32_t distance_bytes) const {
    return MakeFoldKeys(reflected_polynomial, width, distance_bytes * 8);
  }
  constexpr ReduceKeys Reduction() const {
    const uint64_t polynomial = width == 64 ? uint64_t{reflected_polynomial} << 1 | 1
                                            : uint64_t{reflected_polynomial} << 1;
    return ReduceKeys{MakeFoldKeys(reflected_polynomial, width, 64).high,
                      BarrettQuotient(reflected_polynomial, width), polynomial};
  }
};

// The register type of a FoldedCrc constant.
template <const auto& crc>
using RegisterOf = decltype(crc.reflected_polynomial);

inline constexpr FoldedCrc<uint32_t> kCrc32Folding{kCrc32Polynomial, 32, &Crc32UpdateSlicing8};
inline constexpr FoldedCrc<uint32_t> kCrc32cFolding{kCrc32cPolynomial, 32, &Crc32cUpdateSlicing8};
inline constexpr FoldedCrc<uint32_t> kCrc16Folding{kCrc16Polynomial, 16, &Crc16UpdateSlicing8};
inline constexpr FoldedCrc<uint64_t> kCrc64Folding{kCrc64Polynomial, 64, &Crc64UpdateSlicing8};

// The published CRC-32 constants for folding by 64 and by 16 bytes.
static_assert(kCrc32Folding.Keys(64).high == 0x154442BD4u && kCrc32Folding.Keys(64).low == 0x1C6E41596u);
static_assert(kCrc32Folding.Keys(16).high == 0x1751997D0u && kCrc32Folding.Keys(16).low == 0x0CCAA009Eu);
// And the published CRC-64/XZ ones for folding by 16 bytes.
static_assert(kCrc64Folding.Keys(16).high == 0xE05DD497CA393AE4u && kCrc64Folding.Keys(16).low == 0xDABE95AFC7875F40u);

}  // namespace telvarn::crc_internal
