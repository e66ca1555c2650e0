// BLAKE2b and BLAKE2s on every compression variant: RFC 7693's answers and the keyed known answers of BLAKE2's authors.
#include <gtest/gtest.h>

#include <string>

#include "cpu/cpu_features.h"
#include "digest/blake2.h"

namespace telvarn {
namespace {

// The bytes 0, 1, 2, ... as BLAKE2's known-answer lists take messages and keys.
std::string Counting(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i);
  return bytes;
}

struct KnownAnswer {
  std::string message;
  std::string key;
  const char* blake2b;
  const char* blake2s;
};

const KnownAnswer kKnownAnswers[] = {
    {"abc", "",  // RFC 7693, appendices A and B
     "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc95"
     "18d38aa8dbf1925ab92386edd4009923",
     "508c5e8c327c14e2e1a72ba34eeb452f37458b209ed63a294d999b4c86675982"},
    {"", "",
     "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934eb04b"
     "903a685b1448b755d56f701afe9be2ce",
     "69217a3079908094e11121d042354a7c1f55b6482ca1a51e1b250dfd1ed0eef9"},
    // The first and last keyed answers of the authors' lists: key 0..63 (0..31 for
    // BLAKE2s), messages of 0 and 255 counting bytes.
    {"", Counting(64),
     "10ebb67700b1868efb4417987acf4690ae9d972fb7a590c2f02871799aaa4786b5e996e8f0f4eb981fc214b005f42d2f"
     "f4233499391653df7aefcbc13fc51568",
     nullptr},
    {Counting(255), Counting(64),
     "142709d62e28fcccd0af97fad0f8465b971e82201dc51070faa0372aa43e92484be1c1e73ba10906d5d1853db6a4106e"
     "0a7bf9800d373d6dee2d46d62ef2a461",
     nullptr},
    {"", Counting(32), nullptr, "48a8997da407876b3d79c0d92325ad3b89cbb754d86ab71aee047ad345fd2c49"},
    {Counting(255), Counting(32), nullptr, "3fb735061abc519dfe979e54c1ee5bfad0a9d858b3315bad34bde999efd724dd"},
};

template <class Context>
void ExpectKnownAnswers(const char* KnownAnswer::*answer) {
  for (const auto& variant : Context::kKernels) {
    if (!variant.supported(GetCpuFeatures())) continue;
    SCOPED_TRACE(std::string(Context::kKernels.name) + " " + variant.name);
    for (const KnownAnswer& known : kKnownAnswers) {
      if (known.*answer == nullptr) continue;
      SCOPED_TRACE(known.message.size());
      // Whole, and a byte at a time: the last block is held back either way.
      Context whole(variant, reinterpret_cast<const uint8_t*>(known.key.data()), known.key.size());
      whole.Update(reinterpret_cast<const uint8_t*>(known.message.data()), known.message.size());
      EXPECT_STREQ(whole.HexDigest(), known.*answer);
      EXPECT_STREQ(whole.HexDigest(), known.*answer) << "asked twice";
      Context bytewise(variant, reinterpret_cast<const uint8_t*>(known.key.data()), known.key.size());
      for (char c : known.message) bytewise.Update(reinterpret_cast<const uint8_t*>(&c), 1);
      EXPECT_STREQ(bytewise.HexDigest(), known.*answer);
    }
  }
}

TEST(Blake2Test, KnownAnswersOnEveryVariant) {
  ExpectKnownAnswers<Blake2bContext>(&KnownAnswer::blake2b);
  ExpectKnownAnswers<Blake2sContext>(&KnownAnswer::blake2s);
}

}  // namespace
}  // namespace telvarn
