// Kernels chosen while the program starts are the ones chosen after: a program that hashes in its own static initialisers runs the processor's best.
#include <gtest/gtest.h>

#include <cstdint>

#include "codec/base64.h"
#include "codec/dispatch.h"
#include "digest/crc.h"
#include "digest/dispatch.h"
#include "digest/sha.h"

namespace telvarn {
namespace {

// The last row of `table` that the dispatch takes on this processor, found after main starts.
template <class Fn>
const KernelVariant<Fn>* LastChosen(const KernelTable<Fn>& table) {
  const KernelVariant<Fn>* last = nullptr;
  for (const auto& variant : table) {
    if (ChosenOver(variant, GetCpuFeatures())) last = &variant;
  }
  return last;
}

struct ChosenBeforeMain {
  const Sha256Variant* sha256;
  const Sha512Variant* sha512;
  const CrcVariant* crc32;
  const Base64EncodeVariant* base64_encode;
};

// Hashes and encodes from a namespace-scope initialiser. Natively this file's
// initialisers run before the core's, whose libraries are linked after the test's
// objects: the kernels are chosen before any initialiser of the core has run.
const ChosenBeforeMain g_chosen_before_main = [] {
  const uint8_t abc[] = {'a', 'b', 'c'};
  Sha256Context sha256;
  sha256.Update(abc, sizeof abc);
  sha256.Finish();
  Sha512Context sha512;
  sha512.Update(abc, sizeof abc);
  sha512.Finish();
  Crc32 crc32;
  crc32.Update(abc, sizeof abc);
  uint8_t text[8];
  EncodeBase64(text, abc, sizeof abc, 0);
  return ChosenBeforeMain{&sha256.variant(), &sha512.variant(), &Active<kCrc32Kernels>(),
                          &Active<kBase64EncodeKernels>()};
}();

TEST(StaticInitialisation, KernelsChosenBeforeMainAreTheProcessorsBest) {
  EXPECT_EQ(g_chosen_before_main.sha256, LastChosen(kSha256Kernels)) << g_chosen_before_main.sha256->name;
  EXPECT_EQ(g_chosen_before_main.sha512, LastChosen(kSha512Kernels)) << g_chosen_before_main.sha512->name;
  EXPECT_EQ(g_chosen_before_main.crc32, LastChosen(kCrc32Kernels)) << g_chosen_before_main.crc32->name;
  EXPECT_EQ(g_chosen_before_main.base64_encode, LastChosen(kBase64EncodeKernels))
      << g_chosen_before_main.base64_encode->name;
}

}  // namespace
}  // namespace telvarn
