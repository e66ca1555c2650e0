// The SHA-512 block loop of the x86-64 forms: rounds in 64-bit general registers, the message schedule of two blocks at once in vector registers.
//
// Included only by the variant files, and everything here has internal linkage:
// each file compiles it with its own instruction-set flags, and one out-of-line
// copy shared by the linker could carry AVX-512 encodings into the AVX2 form.
//
// The rounds. A round is 27 instructions, 24 of them not moves, all on the integer
// ALUs, so its speed is set by the ALUs' throughput and by two dependency chains.
// RORX (BMI2) rotates into a third register and leaves the flags alone, so each
// Sigma is three independent one-cycle rotates and two XORs: three cycles. The new
// e is ((d + h + W + K) + Ch) + Sigma1(e), everything not made from e summed first,
// so e waits four cycles for the e before it (five if T1 is formed first and added
// to d). The new a is T1 + Maj + Sigma0(a) with T1 = new e - d, and
// Maj = ((b ^ c) & a) + (b & c), whose two parts have no bit in common; summed as
// ((new e + ((b & c) - d)) + ((b ^ c) & a)) + Sigma0(a), a waits four cycles for the
// a before it while the new e's part lags behind, off that chain. T1 itself is never
// formed, which spares adding it to d and to h apart. The round is written in
// assembly because the compiler otherwise reassociates the sums into longer chains
// or folds (x + d) - d back into x.
//
// The code is kept small on purpose: the module calls a block function with 1024
// or 4096 bytes at a time, and each call must find its loop in the processor's
// instruction caches. Straight code unrolled across the first block's 80 rounds,
// or across both blocks of a pair with the schedule spread over them, does not
// stay there from one call to the next (bench/README.md has the measurements).
//
// The message schedule. Two consecutive blocks (a pair) are scheduled together,
// each vector holding the words W[t], W[t + 1] of both blocks, one block per 128-bit
// lane, sixteen rounds ahead of the first block, whose rounds run beside it; the
// second block then runs its rounds alone from the stored W + K. A last block
// without a partner is loaded into both lanes: scheduled twice, compressed once.
// YmmPairWords loads, aligns, adds and stores the pairs; each form's Ops type
// derives from it and adds SmallSigma0(x) and SmallSigma1(x) on 64-bit words.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "digest/sha_private.h"

namespace telvarn::sha_internal {
namespace {

struct Sha512Words {
  uint64_t a, b, c, d, e, f, g, h;
};

// One round on the words named a to h; the caller renames them. d becomes the new
// e and h the new a; round_input is W[t] + K[t].
inline void GprRound(uint64_t a, uint64_t b, uint64_t c, uint64_t& d, uint64_t e, uint64_t f, uint64_t g,
                     uint64_t& h, uint64_t round_input) {
  uint64_t low_part, choose, sigma, rotated;
  __asm__(
      "mov %[b], %[low_part]\n\t"
      "and %[c], %[low_part]\n\t"
      "sub %[d], %[low_part]\n\t"      // (b & c) - d
      "add %[h], %[d]\n\t"
      "add %[input], %[d]\n\t"         // d + h + W + K
      "mov %[f], %[choose]\n\t"
      "xor %[g], %[choose]\n\t"
      "rorx $14, %[e], %[sigma]\n\t"
      "rorx $18, %[e], %[rotated]\n\t"
      "and %[e], %[choose]\n\t"
      "xor %[rotated], %[sigma]\n\t"
      "rorx $41, %[e], %[rotated]\n\t"
      "xor %[g], %[choose]\n\t"        // Ch(e, f, g)
      "xor %[rotated], %[sigma]\n\t"   // Sigma1(e)
      "mov %[b], %[h]\n\t"
      "xor %[c], %[h]\n\t"
      "and %[a], %[h]\n\t"             // (b ^ c) & a
      "add %[choose], %[d]\n\t"
      "add %[sigma], %[d]\n\t"         // the new e, d + T1
      "add %[low_part], %[h]\n\t"
      "add %[d], %[h]\n\t"             // T1 + Maj(a, b, c)
      "rorx $28, %[a], %[sigma]\n\t"
      "rorx $34, %[a], %[choose]\n\t"
      "rorx $39, %[a], %[rotated]\n\t"
      "xor %[choose], %[sigma]\n\t"
      "xor %[rotated], %[sigma]\n\t"   // Sigma0(a)
      "add %[sigma], %[h]"               // the new a
      : [d] "+r"(d), [h] "+r"(h), [low_part] "=&r"(low_part), [choose] "=&r"(choose), [sigma] "=&r"(sigma),
        [rotated] "=&r"(rotated)
      : [a] "r"(a), [b] "r"(b), [c] "r"(c), [e] "r"(e), [f] "r"(f), [g] "r"(g), [input] "rm"(round_input)
      : "cc");
}

template <int kPair>
using PairIndex = std::integral_constant<int, kPair>;

// Rounds t to t + 7: input(i) is W + K of round t + i, and between(PairIndex<j>)
// runs before rounds t + 2j and t + 2j + 1.
template <class Input, class Between>
inline void EightRounds(Sha512Words& s, Input input, Between between) {
  between(PairIndex<0>());
  GprRound(s.a, s.b, s.c, s.d, s.e, s.f, s.g, s.h, input(0));
  GprRound(s.h, s.a, s.b, s.c, s.d, s.e, s.f, s.g, input(1));
  between(PairIndex<1>());
  GprRound(s.g, s.h, s.a, s.b, s.c, s.d, s.e, s.f, input(2));
  GprRound(s.f, s.g, s.h, s.a, s.b, s.c, s.d, s.e, input(3));
  between(PairIndex<2>());
  GprRound(s.e, s.f, s.g, s.h, s.a, s.b, s.c, s.d, input(4));
  GprRound(s.d, s.e, s.f, s.g, s.h, s.a, s.b, s.c, input(5));
  between(PairIndex<3>());
  GprRound(s.c, s.d, s.e, s.f, s.g, s.h, s.a, s.b, input(6));
  GprRound(s.b, s.c, s.d, s.e, s.f, s.g, s.h, s.a, input(7));
}

// The chaining value is added back from memory with a load-and-add. Left to
// itself the compiler adds into the stack copy and reloads it, which puts a
// store-to-load forwarding on the chain from one block to the next.
inline void AddWord(uint64_t& word, const uint64_t& before) {
  __asm__("add %[before], %[word]" : [word] "+r"(word) : [before] "m"(before) : "cc");
}

inline void AddChainingValue(Sha512Words& s, const uint64_t (&before)[8]) {
  AddWord(s.a, before[0]);
  AddWord(s.b, before[1]);
  AddWord(s.c, before[2]);
  AddWord(s.d, before[3]);
  AddWord(s.e, before[4]);
  AddWord(s.f, before[5]);
  AddWord(s.g, before[6]);
  AddWord(s.h, before[7]);
}

inline void KeepChainingValue(const Sha512Words& s, uint64_t* before) {
  before[0] = s.a;
  before[1] = s.b;
  before[2] = s.c;
  before[3] = s.d;
  before[4] = s.e;
  before[5] = s.f;
  before[6] = s.g;
  before[7] = s.h;
}

// W + K of a pair of blocks: one row per pair of rounds t, t + 1, holding
// {first block t, t + 1, second block t, t + 1}.
using Sha512Rows = uint64_t[40][4];
using Sha512Starts = const uint8_t* [2];

// What both forms' Ops share: one block in each 128-bit lane of a YMM register.
struct YmmPairWords {
  using Vector = __m256i;

  static Vector LoadWords(const Sha512Starts& starts, int pair) {
    const __m256i words = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(starts[1] + 16 * pair),
                                              reinterpret_cast<const __m128i*>(starts[0] + 16 * pair));
    const __m256i reverse = _mm256_set_epi64x(0x08090A0B0C0D0E0F, 0x0001020304050607, 0x08090A0B0C0D0E0F,
                                              0x0001020304050607);
    return _mm256_shuffle_epi8(words, reverse);
  }
  static Vector Align(Vector high, Vector low) { return _mm256_alignr_epi8(high, low, 8); }
  static Vector Add(Vector x, Vector y) { return _mm256_add_epi64(x, y); }
  static Vector AddConstants(Vector x, const uint64_t* constants) {
    return _mm256_add_epi64(
        x, _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(constants))));
  }
  static void Store(uint64_t* row, Vector x) { _mm256_store_si256(reinterpret_cast<__m256i*>(row), x); }
};

// The pair's message words as a ring of eight: when the pair t, t + 1
// (t >= 16) is made in slot kSlot, w_[kSlot] holds W[t - 16], W[t - 15] and
// w_[kSlot + 7] (mod 8) holds W[t - 2], W[t - 1].
template <class Ops>
class PairSchedule {
 public:
  using Vector = typename Ops::Vector;

  // W[0..15] of both blocks, and rows 0 to 7.
  void Start(const Sha512Starts& starts, Sha512Rows& rows, const uint64_t* constants) {
    for (int slot = 0; slot < 8; ++slot) {
      w_[slot] = Ops::LoadWords(starts, slot);
      Ops::Store(rows[slot], Ops::AddConstants(w_[slot], constants + 2 * slot));
    }
  }

  // The next pair in slot kSlot, and its row; `constants` points at its two K.
  template <int kSlot>
  void Next(uint64_t* row, const uint64_t* constants) {
    const Vector words_16 = w_[kSlot];
    const Vector words_15 = Ops::Align(w_[(kSlot + 1) % 8], words_16);
    const Vector words_7 = Ops::Align(w_[(kSlot + 5) % 8], w_[(kSlot + 4) % 8]);
    w_[kSlot] = Ops::Add(Ops::Add(words_16, Ops::SmallSigma0(words_15)),
                         Ops::Add(words_7, Ops::SmallSigma1(w_[(kSlot + 7) % 8])));
    Ops::Store(row, Ops::AddConstants(w_[kSlot], constants));
  }

 private:
  Vector w_[8];
};

template <class Ops>
void CompressSha512Gpr(uint64_t state[8], const uint8_t* data, size_t blocks) {
  alignas(32) Sha512Rows rows;
  PairSchedule<Ops> schedule;
  Sha512Words s{state[0], state[1], state[2], state[3], state[4], state[5], state[6], state[7]};
  uint64_t before[8];
  while (blocks > 0) {
    const bool two = blocks >= 2;
    const Sha512Starts starts = {data, two ? data + 128 : data};
    // Read through an opaque pointer, the constants are loaded where they are added:
    // hoisted out of the loop they would hold vector registers the ring needs.
    const uint64_t* constants = kSha512RoundConstants;
    __asm__("" : "+r"(constants));
    schedule.Start(starts, rows, constants);

    // The first block, scheduling sixteen rounds ahead of itself and of the second.
    // Pointers step through the rows and the constants, so that the rounds' loads
    // and the schedule's stores are fixed offsets from them: indexed by the round
    // number, every pair of rounds would begin with a sign extension, a shift and
    // adds to find its row.
    KeepChainingValue(s, before);
    const auto first_block = [](const uint64_t(*four_rows)[4]) {
      return [four_rows](int i) { return four_rows[i / 2][i % 2]; };
    };
    const uint64_t* ahead_constants = constants + 16;
    for (uint64_t(*pass_rows)[4] = rows; pass_rows != rows + 32; pass_rows += 8, ahead_constants += 16) {
      uint64_t(*ahead)[4] = pass_rows + 8;
      EightRounds(s, first_block(pass_rows), [&](auto j) {
        schedule.template Next<decltype(j)::value>(ahead[j], ahead_constants + 2 * j);
      });
      EightRounds(s, first_block(pass_rows + 4), [&](auto j) {
        schedule.template Next<decltype(j)::value + 4>(ahead[j + 4], ahead_constants + 2 * j + 8);
      });
    }
    EightRounds(s, first_block(rows + 32), [](auto) {});
    EightRounds(s, first_block(rows + 36), [](auto) {});
    AddChainingValue(s, before);
    if (!two) break;

    KeepChainingValue(s, before);
    for (const uint64_t(*four_rows)[4] = rows; four_rows != rows + 40; four_rows += 4) {
      EightRounds(s, [four_rows](int i) { return four_rows[i / 2][2 + i % 2]; }, [](auto) {});
    }
    AddChainingValue(s, before);
    data += 256;
    blocks -= 2;
  }
  KeepChainingValue(s, state);
}

}  // namespace
}  // namespace telvarn::sha_internal
