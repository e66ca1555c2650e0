// The portable BLAKE2b and BLAKE2s compression functions (RFC 7693, section 3.2).
#include <cstring>
#include <utility>

#include "digest/blake2_private.h"

namespace telvarn::blake2_internal {
namespace {

template <class Word, unsigned kCount>
__attribute__((always_inline)) inline Word RotateRight(Word w) {
  return static_cast<Word>((w >> kCount) | (w << (sizeof(Word) * 8 - kCount)));
}

// The mixing function G of section 3.1, with the word's four rotation counts.
// Always inlined: as calls, the sixteen working words would live in memory
// rather than in registers, at about half the speed.
template <class Word, unsigned kR1, unsigned kR2, unsigned kR3, unsigned kR4>
__attribute__((always_inline)) inline void Mix(Word& a, Word& b, Word& c, Word& d, Word x, Word y) {
  a = a + b + x;
  d = RotateRight<Word, kR1>(d ^ a);
  c = c + d;
  b = RotateRight<Word, kR2>(b ^ c);
  a = a + b + y;
  d = RotateRight<Word, kR3>(d ^ a);
  c = c + d;
  b = RotateRight<Word, kR4>(b ^ c);
}

// One round with its schedule row known when compiling, so that the message
// words are picked by constant indices and the rounds unroll completely.
template <class Word, unsigned kR1, unsigned kR2, unsigned kR3, unsigned kR4, size_t kRound>
__attribute__((always_inline)) inline void Round(Word v[16], const Word m[16]) {
  constexpr const uint8_t* s = kBlake2Sigma[kRound % 10];
  Mix<Word, kR1, kR2, kR3, kR4>(v[0], v[4], v[8], v[12], m[s[0]], m[s[1]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[1], v[5], v[9], v[13], m[s[2]], m[s[3]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[2], v[6], v[10], v[14], m[s[4]], m[s[5]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[3], v[7], v[11], v[15], m[s[6]], m[s[7]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[0], v[5], v[10], v[15], m[s[8]], m[s[9]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[1], v[6], v[11], v[12], m[s[10]], m[s[11]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[2], v[7], v[8], v[13], m[s[12]], m[s[13]]);
  Mix<Word, kR1, kR2, kR3, kR4>(v[3], v[4], v[9], v[14], m[s[14]], m[s[15]]);
}

template <class Word, unsigned kR1, unsigned kR2, unsigned kR3, unsigned kR4, size_t... kRounds>
__attribute__((always_inline)) inline void Rounds(Word v[16], const Word m[16], std::index_sequence<kRounds...>) {
  (Round<Word, kR1, kR2, kR3, kR4, kRounds>(v, m), ...);
}

// A little-endian host copies the words as they lie: assembled from bytes, the
// sixteen loads were vectorised into byte shuffles that cost a fifth of BLAKE2b's
// time.
template <class Word>
inline Word LoadLittleEndian(const uint8_t* bytes) {
  Word w = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(&w, bytes, sizeof w);
#else
  for (size_t i = 0; i < sizeof(Word); ++i) w |= static_cast<Word>(bytes[i]) << (8 * i);
#endif
  return w;
}

// Word: uint64_t for BLAKE2b (12 rounds), uint32_t for BLAKE2s (10 rounds).
template <class Word, size_t kRoundCount, unsigned kR1, unsigned kR2, unsigned kR3, unsigned kR4>
void Compress(Word h[8], Word t[2], const uint8_t* blocks, size_t block_count, bool last, const Word (&iv)[8]) {
  constexpr size_t kBlockBytes = 16 * sizeof(Word);
  for (; block_count > 0; --block_count, blocks += kBlockBytes) {
    if (!last) {
      t[0] += kBlockBytes;
      if (t[0] < kBlockBytes) ++t[1];
    }
    Word m[16];
    for (size_t i = 0; i < 16; ++i) m[i] = LoadLittleEndian<Word>(blocks + i * sizeof(Word));
    Word v[16];
    for (size_t i = 0; i < 8; ++i) {
      v[i] = h[i];
      v[i + 8] = iv[i];
    }
    v[12] ^= t[0];
    v[13] ^= t[1];
    if (last) v[14] = static_cast<Word>(~v[14]);
    Rounds<Word, kR1, kR2, kR3, kR4>(v, m, std::make_index_sequence<kRoundCount>{});
    for (size_t i = 0; i < 8; ++i) h[i] ^= v[i] ^ v[i + 8];
  }
}

}  // namespace

void Blake2bCompressPortable(uint64_t h[8], uint64_t t[2], const uint8_t* blocks, size_t block_count, bool last) {
  Compress<uint64_t, 12, 32, 24, 16, 63>(h, t, blocks, block_count, last, kBlake2bIv);
}

void Blake2sCompressPortable(uint32_t h[8], uint32_t t[2], const uint8_t* blocks, size_t block_count, bool last) {
  Compress<uint32_t, 10, 16, 12, 8, 7>(h, t, blocks, block_count, last, kBlake2sIv);
}

}  // namespace telvarn::blake2_internal
