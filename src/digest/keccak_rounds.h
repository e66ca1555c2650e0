// Keccak-f[1600] absorbing whole blocks, over any lane type, for the keccak kernels to instantiate.
//
// Everything here but the round constants has internal linkage: each variant file
// compiles it with its own instruction-set flags, and one out-of-line copy shared
// by the linker could carry BMI or AVX-512 encodings into the portable form.
//
// The 25 lanes live in locals for the whole call: a block's lanes are XORed into
// the first rate/8 of them, then 24 rounds run, two per pass (lanes a to e and
// back), every rotation count a constant. Ops supplies the lane type and its
// loads and stores; the lane type has ^, and Rol<n> and Chi are found for it
// (those of uint64_t below, or those beside the lane type in the variant's
// file). Round constants: FIPS 202, section 3.2.5; rotation counts: table 2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telvarn::keccak_internal {

extern const uint64_t kKeccakRoundConstants[24];

namespace {

// A message lane: eight bytes, least significant first.
inline uint64_t LoadLe64(const uint8_t* p) {
  uint64_t lane = 0;
  for (int i = 7; i >= 0; --i) lane = lane << 8 | p[i];
  return lane;
}

// n from 1 to 63.
template <unsigned kCount>
inline uint64_t Rol(uint64_t x) {
  static_assert(kCount > 0 && kCount < 64);
  return (x << kCount) | (x >> (64 - kCount));
}

// The nonlinear step of one lane: a ^ (~b & c).
inline uint64_t Chi(uint64_t a, uint64_t b, uint64_t c) { return a ^ (~b & c); }

// Lanes in general registers (the portable and BMI2 kernels).
struct WordLanes {
  using Lane = uint64_t;
  static Lane Load(const uint64_t* word) { return *word; }
  static void Store(uint64_t* word, Lane lane) { *word = lane; }
  static Lane Message(const uint8_t* bytes) { return LoadLe64(bytes); }
  static Lane Constant(size_t round) { return kKeccakRoundConstants[round]; }
};

// rate_bytes is 72, 104, 136 or 144 (9, 13, 17 or 18 lanes).
template <class Ops>
inline void AbsorbBlocks(uint64_t state[25], const uint8_t* data, size_t blocks, size_t rate_bytes) {
  using Lane = typename Ops::Lane;
  Lane aba = Ops::Load(state + 0), abe = Ops::Load(state + 1), abi = Ops::Load(state + 2),
       abo = Ops::Load(state + 3), abu = Ops::Load(state + 4);
  Lane aga = Ops::Load(state + 5), age = Ops::Load(state + 6), agi = Ops::Load(state + 7),
       ago = Ops::Load(state + 8), agu = Ops::Load(state + 9);
  Lane aka = Ops::Load(state + 10), ake = Ops::Load(state + 11), aki = Ops::Load(state + 12),
       ako = Ops::Load(state + 13), aku = Ops::Load(state + 14);
  Lane ama = Ops::Load(state + 15), ame = Ops::Load(state + 16), ami = Ops::Load(state + 17),
       amo = Ops::Load(state + 18), amu = Ops::Load(state + 19);
  Lane asa = Ops::Load(state + 20), ase = Ops::Load(state + 21), asi = Ops::Load(state + 22),
       aso = Ops::Load(state + 23), asu = Ops::Load(state + 24);
  Lane eba, ebe, ebi, ebo, ebu, ega, ege, egi, ego, egu, eka, eke, eki;
  Lane eko, eku, ema, eme, emi, emo, emu, esa, ese, esi, eso, esu;
  Lane c0, c1, c2, c3, c4, d0, d1, d2, d3, d4, b0, b1, b2, b3, b4;
  for (; blocks > 0; --blocks, data += rate_bytes) {
    aba = aba ^ Ops::Message(data + 0);
    abe = abe ^ Ops::Message(data + 8);
    abi = abi ^ Ops::Message(data + 16);
    abo = abo ^ Ops::Message(data + 24);
    abu = abu ^ Ops::Message(data + 32);
    aga = aga ^ Ops::Message(data + 40);
    age = age ^ Ops::Message(data + 48);
    agi = agi ^ Ops::Message(data + 56);
    ago = ago ^ Ops::Message(data + 64);
    if (rate_bytes >= 104) {
      agu = agu ^ Ops::Message(data + 72);
      aka = aka ^ Ops::Message(data + 80);
      ake = ake ^ Ops::Message(data + 88);
      aki = aki ^ Ops::Message(data + 96);
      if (rate_bytes >= 136) {
        ako = ako ^ Ops::Message(data + 104);
        aku = aku ^ Ops::Message(data + 112);
        ama = ama ^ Ops::Message(data + 120);
        ame = ame ^ Ops::Message(data + 128);
        if (rate_bytes >= 144) ami = ami ^ Ops::Message(data + 136);
      }
    }
    for (size_t round = 0; round < 24; round += 2) {
      c0 = aba ^ aga ^ aka ^ ama ^ asa;
      c1 = abe ^ age ^ ake ^ ame ^ ase;
      c2 = abi ^ agi ^ aki ^ ami ^ asi;
      c3 = abo ^ ago ^ ako ^ amo ^ aso;
      c4 = abu ^ agu ^ aku ^ amu ^ asu;
      d0 = c4 ^ Rol<1>(c1);
      d1 = c0 ^ Rol<1>(c2);
      d2 = c1 ^ Rol<1>(c3);
      d3 = c2 ^ Rol<1>(c4);
      d4 = c3 ^ Rol<1>(c0);
      b0 = (aba ^ d0);
      b1 = Rol<44>(age ^ d1);
      b2 = Rol<43>(aki ^ d2);
      b3 = Rol<21>(amo ^ d3);
      b4 = Rol<14>(asu ^ d4);
      eba = Chi(b0, b1, b2) ^ Ops::Constant(round);
      ebe = Chi(b1, b2, b3);
      ebi = Chi(b2, b3, b4);
      ebo = Chi(b3, b4, b0);
      ebu = Chi(b4, b0, b1);
      b0 = Rol<28>(abo ^ d3);
      b1 = Rol<20>(agu ^ d4);
      b2 = Rol<3>(aka ^ d0);
      b3 = Rol<45>(ame ^ d1);
      b4 = Rol<61>(asi ^ d2);
      ega = Chi(b0, b1, b2);
      ege = Chi(b1, b2, b3);
      egi = Chi(b2, b3, b4);
      ego = Chi(b3, b4, b0);
      egu = Chi(b4, b0, b1);
      b0 = Rol<1>(abe ^ d1);
      b1 = Rol<6>(agi ^ d2);
      b2 = Rol<25>(ako ^ d3);
      b3 = Rol<8>(amu ^ d4);
      b4 = Rol<18>(asa ^ d0);
      eka = Chi(b0, b1, b2);
      eke = Chi(b1, b2, b3);
      eki = Chi(b2, b3, b4);
      eko = Chi(b3, b4, b0);
      eku = Chi(b4, b0, b1);
      b0 = Rol<27>(abu ^ d4);
      b1 = Rol<36>(aga ^ d0);
      b2 = Rol<10>(ake ^ d1);
      b3 = Rol<15>(ami ^ d2);
      b4 = Rol<56>(aso ^ d3);
      ema = Chi(b0, b1, b2);
      eme = Chi(b1, b2, b3);
      emi = Chi(b2, b3, b4);
      emo = Chi(b3, b4, b0);
      emu = Chi(b4, b0, b1);
      b0 = Rol<62>(abi ^ d2);
      b1 = Rol<55>(ago ^ d3);
      b2 = Rol<39>(aku ^ d4);
      b3 = Rol<41>(ama ^ d0);
      b4 = Rol<2>(ase ^ d1);
      esa = Chi(b0, b1, b2);
      ese = Chi(b1, b2, b3);
      esi = Chi(b2, b3, b4);
      eso = Chi(b3, b4, b0);
      esu = Chi(b4, b0, b1);
      c0 = eba ^ ega ^ eka ^ ema ^ esa;
      c1 = ebe ^ ege ^ eke ^ eme ^ ese;
      c2 = ebi ^ egi ^ eki ^ emi ^ esi;
      c3 = ebo ^ ego ^ eko ^ emo ^ eso;
      c4 = ebu ^ egu ^ eku ^ emu ^ esu;
      d0 = c4 ^ Rol<1>(c1);
      d1 = c0 ^ Rol<1>(c2);
      d2 = c1 ^ Rol<1>(c3);
      d3 = c2 ^ Rol<1>(c4);
      d4 = c3 ^ Rol<1>(c0);
      b0 = (eba ^ d0);
      b1 = Rol<44>(ege ^ d1);
      b2 = Rol<43>(eki ^ d2);
      b3 = Rol<21>(emo ^ d3);
      b4 = Rol<14>(esu ^ d4);
      aba = Chi(b0, b1, b2) ^ Ops::Constant(round + 1);
      abe = Chi(b1, b2, b3);
      abi = Chi(b2, b3, b4);
      abo = Chi(b3, b4, b0);
      abu = Chi(b4, b0, b1);
      b0 = Rol<28>(ebo ^ d3);
      b1 = Rol<20>(egu ^ d4);
      b2 = Rol<3>(eka ^ d0);
      b3 = Rol<45>(eme ^ d1);
      b4 = Rol<61>(esi ^ d2);
      aga = Chi(b0, b1, b2);
      age = Chi(b1, b2, b3);
      agi = Chi(b2, b3, b4);
      ago = Chi(b3, b4, b0);
      agu = Chi(b4, b0, b1);
      b0 = Rol<1>(ebe ^ d1);
      b1 = Rol<6>(egi ^ d2);
      b2 = Rol<25>(eko ^ d3);
      b3 = Rol<8>(emu ^ d4);
      b4 = Rol<18>(esa ^ d0);
      aka = Chi(b0, b1, b2);
      ake = Chi(b1, b2, b3);
      aki = Chi(b2, b3, b4);
      ako = Chi(b3, b4, b0);
      aku = Chi(b4, b0, b1);
      b0 = Rol<27>(ebu ^ d4);
      b1 = Rol<36>(ega ^ d0);
      b2 = Rol<10>(eke ^ d1);
      b3 = Rol<15>(emi ^ d2);
      b4 = Rol<56>(eso ^ d3);
      ama = Chi(b0, b1, b2);
      ame = Chi(b1, b2, b3);
      ami = Chi(b2, b3, b4);
      amo = Chi(b3, b4, b0);
      amu = Chi(b4, b0, b1);
      b0 = Rol<62>(ebi ^ d2);
      b1 = Rol<55>(ego ^ d3);
      b2 = Rol<39>(eku ^ d4);
      b3 = Rol<41>(ema ^ d0);
      b4 = Rol<2>(ese ^ d1);
      asa = Chi(b0, b1, b2);
      ase = Chi(b1, b2, b3);
      asi = Chi(b2, b3, b4);
      aso = Chi(b3, b4, b0);
      asu = Chi(b4, b0, b1);
    }
  }
  Ops::Store(state + 0, aba);
  Ops::Store(state + 1, abe);
  Ops::Store(state + 2, abi);
  Ops::Store(state + 3, abo);
  Ops::Store(state + 4, abu);
  Ops::Store(state + 5, aga);
  Ops::Store(state + 6, age);
  Ops::Store(state + 7, agi);
  Ops::Store(state + 8, ago);
  Ops::Store(state + 9, agu);
  Ops::Store(state + 10, aka);
  Ops::Store(state + 11, ake);
  Ops::Store(state + 12, aki);
  Ops::Store(state + 13, ako);
  Ops::Store(state + 14, aku);
  Ops::Store(state + 15, ama);
  Ops::Store(state + 16, ame);
  Ops::Store(state + 17, ami);
  Ops::Store(state + 18, amo);
  Ops::Store(state + 19, amu);
  Ops::Store(state + 20, asa);
  Ops::Store(state + 21, ase);
  Ops::Store(state + 22, asi);
  Ops::Store(state + 23, aso);
  Ops::Store(state + 24, asu);
}

}  // namespace
}  // namespace telvarn::keccak_internal
