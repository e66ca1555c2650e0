// SHA-256 and SHA-512 compression in plain C++ (FIPS 180-2, sections 6.2.2 and 6.3.2).
//
// The two differ only in word size, round count, constants and rotation counts.
// On the 32-bit target the SHA-512 form is what a processor without MMX runs: the
// compiler holds each 64-bit word as a pair of 32-bit registers, adds with carry
// (add/adc) and rotates by shifting across both halves.
#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

inline uint32_t Rotr(uint32_t x, unsigned n) { return Rotr32(x, n); }
inline uint64_t Rotr(uint64_t x, unsigned n) { return Rotr64(x, n); }

struct Sha256Shape {
  using Word = uint32_t;
  static constexpr int kRounds = 64;
  static constexpr const uint32_t* kConstants = kSha256RoundConstants;
  static Word Load(const uint8_t* p) { return LoadBe32(p); }
  // Sigma0, Sigma1 of the rounds; sigma0, sigma1 of the message schedule (rotations, then the shift).
  static constexpr unsigned kBigSigma0[3] = {2, 13, 22}, kBigSigma1[3] = {6, 11, 25};
  static constexpr unsigned kSmallSigma0[3] = {7, 18, 3}, kSmallSigma1[3] = {17, 19, 10};
};

struct Sha512Shape {
  using Word = uint64_t;
  static constexpr int kRounds = 80;
  static constexpr const uint64_t* kConstants = kSha512RoundConstants;
  static Word Load(const uint8_t* p) { return LoadBe64(p); }
  static constexpr unsigned kBigSigma0[3] = {28, 34, 39}, kBigSigma1[3] = {14, 18, 41};
  static constexpr unsigned kSmallSigma0[3] = {1, 8, 7}, kSmallSigma1[3] = {19, 61, 6};
};

template <class Shape>
void Compress(typename Shape::Word state[8], const uint8_t* data, size_t blocks) {
  using Word = typename Shape::Word;
  constexpr size_t kBlock = 16 * sizeof(Word);
  const auto big = [](Word x, const unsigned (&n)[3]) {
    return Rotr(x, n[0]) ^ Rotr(x, n[1]) ^ Rotr(x, n[2]);
  };
  const auto small = [](Word x, const unsigned (&n)[3]) {
    return Rotr(x, n[0]) ^ Rotr(x, n[1]) ^ (x >> n[2]);
  };
  for (; blocks > 0; --blocks, data += kBlock) {
    Word w[Shape::kRounds];
    for (int t = 0; t < 16; ++t) w[t] = Shape::Load(data + sizeof(Word) * t);
    for (int t = 16; t < Shape::kRounds; ++t) {
      w[t] = w[t - 16] + small(w[t - 15], Shape::kSmallSigma0) + w[t - 7] +
             small(w[t - 2], Shape::kSmallSigma1);
    }
    Word a = state[0], b = state[1], c = state[2], d = state[3];
    Word e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < Shape::kRounds; ++t) {
      Word t1 = h + big(e, Shape::kBigSigma1) + ((e & f) ^ (~e & g)) + Shape::kConstants[t] + w[t];
      Word t2 = big(a, Shape::kBigSigma0) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

}  // namespace

void Sha256CompressPortable(uint32_t state[8], const uint8_t* data, size_t blocks) {
  Compress<Sha256Shape>(state, data, blocks);
}

void Sha512CompressPortable(uint64_t state[8], const uint8_t* data, size_t blocks) {
  Compress<Sha512Shape>(state, data, blocks);
}

}  // namespace telvarn::sha_internal
