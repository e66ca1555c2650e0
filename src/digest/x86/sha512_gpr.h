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
// The message schedule. Two consecutive blocks (a pair) are scheduled together,
// each vector holding the words W[t], W[t + 1] of both blocks, one block per 128-bit
// lane, and the stored W + K feed the rounds of both. The schedule's instructions
// share the front end with the rounds, so they are spread over both blocks: the
// first block of a call's first pair makes its pair's rows sixteen rounds ahead of
// its own rounds; every later pair gets its first twenty rows made beside the
// second block of the pair before it, once that block has read the rows they
// replace, and its first block makes the other twenty. A short last pair repeats its
// block in the lane it lacks: scheduled, never compressed. An Ops type provides, on
// vectors of type Vector:
//   LoadWords(starts, j): W[2j], W[2j + 1] of both blocks, byte-swapped;
//   Align(high, low): the high word of each lane of `low` and the low word of the
//     same lane of `high`, i.e. W[t + 1], W[t + 2] from pairs t and t + 2;
//   SmallSigma0(x), SmallSigma1(x), Add(x, y) on 64-bit words;
//   AddConstants(x, k): x plus the constants k[0], k[1] in both lanes;
//   Store(row, x): the aligned store of a row of W + K.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

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

template <int kIndex>
using Index = std::integral_constant<int, kIndex>;

// Rounds t to t + 7: input(i) is W + K of round t + i, and between(Index<j>)
// runs before rounds t + 2j and t + 2j + 1.
template <class Input, class Between>
inline void EightRounds(Sha512Words& s, Input input, Between between) {
  between(Index<0>());
  GprRound(s.a, s.b, s.c, s.d, s.e, s.f, s.g, s.h, input(0));
  GprRound(s.h, s.a, s.b, s.c, s.d, s.e, s.f, s.g, input(1));
  between(Index<1>());
  GprRound(s.g, s.h, s.a, s.b, s.c, s.d, s.e, s.f, input(2));
  GprRound(s.f, s.g, s.h, s.a, s.b, s.c, s.d, s.e, input(3));
  between(Index<2>());
  GprRound(s.e, s.f, s.g, s.h, s.a, s.b, s.c, s.d, input(4));
  GprRound(s.d, s.e, s.f, s.g, s.h, s.a, s.b, s.c, input(5));
  between(Index<3>());
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

inline void KeepChainingValue(const Sha512Words& s, uint64_t (&before)[8]) {
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

// The pair's message words as a ring of eight: when row r (W[2r], W[2r + 1], r >= 8)
// is made, slot r mod 8 holds the words of row r - 8 and slot r + 7 (mod 8) those of
// row r - 1.
template <class Ops>
class PairSchedule {
 public:
  using Vector = typename Ops::Vector;

  // Row kRow from 0 to 7, from the blocks.
  template <int kRow>
  void Load(const Sha512Starts& starts, Sha512Rows& rows, const uint64_t* constants) {
    w_[kRow] = Ops::LoadWords(starts, kRow);
    Ops::Store(rows[kRow], Ops::AddConstants(w_[kRow], constants + 2 * kRow));
  }

  // Row kRow from 8 to 39, from the rows before it.
  template <int kRow>
  void Next(Sha512Rows& rows, const uint64_t* constants) {
    constexpr int kSlot = kRow % 8;
    const Vector words_16 = w_[kSlot];
    const Vector words_15 = Ops::Align(w_[(kSlot + 1) % 8], words_16);
    const Vector words_7 = Ops::Align(w_[(kSlot + 5) % 8], w_[(kSlot + 4) % 8]);
    w_[kSlot] = Ops::Add(Ops::Add(words_16, Ops::SmallSigma0(words_15)),
                         Ops::Add(words_7, Ops::SmallSigma1(w_[(kSlot + 7) % 8])));
    Ops::Store(rows[kRow], Ops::AddConstants(w_[kSlot], constants + 2 * kRow));
  }

 private:
  Vector w_[8];
};

// The eighty rounds of one block from its lane of the rows (lane 0 or 2), with
// between(Index<p>(), Index<j>()) before rounds 8p + 2j and 8p + 2j + 1.
template <class Between, int... kPass>
inline void BlockRounds(Sha512Words& s, const uint64_t* lane, Between between, std::integer_sequence<int, kPass...>) {
  (EightRounds(s, [lane](int i) { return lane[(4 * kPass + i / 2) * 4 + i % 2]; },
               [&between](auto j) { between(Index<kPass>(), j); }),
   ...);
}

template <class Between>
inline void BlockRounds(Sha512Words& s, const uint64_t* lane, Between between) {
  BlockRounds(s, lane, between, std::make_integer_sequence<int, 10>());
}

template <class Ops>
void CompressSha512Gpr(uint64_t state[8], const uint8_t* data, size_t blocks) {
  alignas(32) Sha512Rows rows;
  PairSchedule<Ops> schedule;
  Sha512Words s{state[0], state[1], state[2], state[3], state[4], state[5], state[6], state[7]};
  uint64_t before[8];
  // Rows 0 to 19 of the pair were made beside the previous pair's second block.
  bool rows_begun = false;
  while (blocks > 0) {
    const bool two = blocks >= 2;
    // Read through an opaque pointer, the constants are loaded where they are added:
    // hoisted out of the loop they would hold vector registers the ring needs.
    const uint64_t* constants = kSha512RoundConstants;
    __asm__("" : "+r"(constants));

    KeepChainingValue(s, before);
    if (rows_begun) {
      BlockRounds(s, &rows[0][0], [&](auto pass, auto j) {
        constexpr int kRow = 20 + 4 * decltype(pass)::value + decltype(j)::value;
        if constexpr (kRow < 40) schedule.template Next<kRow>(rows, constants);
      });
    } else {
      const Sha512Starts starts = {data, two ? data + 128 : data};
      schedule.template Load<0>(starts, rows, constants);
      schedule.template Load<1>(starts, rows, constants);
      schedule.template Load<2>(starts, rows, constants);
      schedule.template Load<3>(starts, rows, constants);
      schedule.template Load<4>(starts, rows, constants);
      schedule.template Load<5>(starts, rows, constants);
      schedule.template Load<6>(starts, rows, constants);
      schedule.template Load<7>(starts, rows, constants);
      BlockRounds(s, &rows[0][0], [&](auto pass, auto j) {
        constexpr int kRow = 8 + 4 * decltype(pass)::value + decltype(j)::value;
        if constexpr (kRow < 40) schedule.template Next<kRow>(rows, constants);
      });
    }
    AddChainingValue(s, before);
    if (!two) break;

    KeepChainingValue(s, before);
    rows_begun = blocks > 2;
    if (rows_begun) {
      // Rounds 16 to 55 come after the reads of the rows they replace: rows 0 to 7
      // (read by rounds 0 to 15) from the next pair's blocks, rows 8 to 19 (read by
      // rounds 16 to 39) from those.
      const uint8_t* next = data + 256;
      const Sha512Starts starts = {next, blocks > 3 ? next + 128 : next};
      BlockRounds(s, &rows[0][2], [&](auto pass, auto j) {
        constexpr int kStep = 4 * (decltype(pass)::value - 2) + decltype(j)::value;
        if constexpr (kStep >= 0 && kStep < 8) schedule.template Load<kStep>(starts, rows, constants);
        if constexpr (kStep >= 8 && kStep < 20) schedule.template Next<kStep>(rows, constants);
      });
    } else {
      // A pointer that steps four rows at a time: the rounds' loads are then a
      // fixed offset from it, with no index arithmetic between them.
      for (const uint64_t(*four_rows)[4] = rows; four_rows != rows + 40; four_rows += 4) {
        EightRounds(s, [four_rows](int i) { return four_rows[i / 2][2 + i % 2]; }, [](auto) {});
      }
    }
    AddChainingValue(s, before);
    data += 256;
    blocks -= 2;
  }
  state[0] = s.a;
  state[1] = s.b;
  state[2] = s.c;
  state[3] = s.d;
  state[4] = s.e;
  state[5] = s.f;
  state[6] = s.g;
  state[7] = s.h;
}

}  // namespace
}  // namespace telvarn::sha_internal
