// The SHA initial hash values (FIPS 180-2, section 5.3) and result texts.
#include "digest/sha.h"

#include "codec/hex.h"

namespace telvarn {

const uint32_t Sha1Traits::kInitial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                          0xC3D2E1F0};
const uint32_t Sha256Traits::kInitial[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                            0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
const uint64_t Sha512Traits::kInitial[8] = {
    0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1,
    0x510E527FADE682D1, 0x9B05688C2B3E6C1F, 0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179};

namespace {

void WriteWords32(const uint32_t* words, size_t count, char* text) {
  for (size_t i = 0; i < count; ++i) WriteHexUpper(words[i], 8, text + 8 * i);
  text[8 * count] = '\0';
}

}  // namespace

void Sha1Traits::WriteText(const Word* state, char* text) { WriteWords32(state, 5, text); }

void Sha256Traits::WriteText(const Word* state, char* text) { WriteWords32(state, 8, text); }

// Each 64-bit word as its high half then its low half, 8 digits each, so that a
// word with a small high half still gives 16 digits.
void Sha512Traits::WriteText(const Word* state, char* text) {
  for (size_t i = 0; i < 8; ++i) {
    WriteHexUpper(static_cast<uint32_t>(state[i] >> 32), 8, text + 16 * i);
    WriteHexUpper(static_cast<uint32_t>(state[i]), 8, text + 16 * i + 8);
  }
  text[128] = '\0';
}

}  // namespace telvarn
