// The scans under telvarn's Base64 decoding: every variant of each table that the
// processor runs, against the portable one, at every length across the 16-byte
// steps, every starting offset, texts that end at a page end, and texts cut in two
// at every place, as the text check and the decoder meet them block by block.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli/base64_text_check.h"
#include "cli/base64_scan.h"
#include "support/test_support.h"
#include "support/variant_checks.h"

namespace telvarn::cli {
namespace {

using namespace scan_internal;

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every byte that is not a letter, the ones next to the ranges' ends included.
const int kNonLetters[] = {0,   int{'\n'}, int{'\r'}, int{'='}, int{' '}, int{'@'}, int{'['}, int{'`'}, int{'{'},
                           int{'*'}, int{','}, int{'.'}, int{':'}, 0x7F, 0x80, 0xC3, 0xFF};

// Every variant of the table that this processor runs, each named in the report
// printed when the tests end, as are the ones it lacks.
template <class Fn>
std::vector<const KernelVariant<Fn>*> RunnableVariants(const KernelTable<Fn>& table) {
  std::vector<const KernelVariant<Fn>*> runnable;
  for (const KernelVariant<Fn>& variant : table) {
    const bool supported = variant.supported(GetCpuFeatures());
    test::NoteVariant(table.name, variant.name, supported);
    if (supported) runnable.push_back(&variant);
  }
  return runnable;
}

// Letters, with an LF (after a CR, now and then) about once in `density` bytes.
std::string TextWithBreaks(std::mt19937& rng, size_t length, int density) {
  std::string text(length, 'A');
  for (size_t i = 0; i < length; ++i) {
    text[i] = kAlphabet[rng() % 64];
    if (density != 0 && rng() % static_cast<unsigned>(density) == 0) {
      text[i] = '\n';
      if (i > 0 && rng() % 2 == 0) text[i - 1] = '\r';
    }
  }
  return text;
}

std::string Dropped(std::string text) {
  text.resize(DropLineBreaksPortable(&text[0], text.size()));
  return text;
}

TEST(Base64Scan, AlphabetRunEqualsPortableAtEveryLengthOffsetAndStop) {
  for (const auto* scan : RunnableVariants(kAlphabetRunScans)) {
    std::mt19937 rng(13);
    std::vector<uint8_t> buffer(128);
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t length = 0; length <= 80; ++length) {
        for (auto& b : buffer) b = static_cast<uint8_t>(kAlphabet[rng() % 64]);
        uint8_t* text = buffer.data() + offset;
        ASSERT_EQ(scan->kernel(text, length), length) << scan->name << " " << offset << " " << length;
        for (size_t stop = 0; stop < length; ++stop) {
          for (int c : kNonLetters) {
            const uint8_t kept = text[stop];
            text[stop] = static_cast<uint8_t>(c);
            ASSERT_EQ(scan->kernel(text, length), AlphabetRunPortable(text, length))
                << scan->name << " " << offset << " " << length << " " << stop << " " << c;
            ASSERT_EQ(scan->kernel(text, length), stop);
            text[stop] = kept;
          }
        }
      }
    }
    for (int c = 0; c < 256; ++c) {
      const uint8_t byte = static_cast<uint8_t>(c);
      std::vector<uint8_t> block(17, byte);
      const bool letter = c != 0 && kAlphabet.find(static_cast<char>(c)) != std::string::npos;
      EXPECT_EQ(scan->kernel(block.data(), block.size()), letter ? block.size() : 0u) << scan->name << " " << c;
    }
  }
}

// The letters end where an inaccessible page begins: a scan that reads one byte
// past them faults.
TEST(Base64Scan, AlphabetRunReadsNothingPastATextAtAPageEnd) {
  constexpr size_t kLongest = 80;
  test::PageEndBuffer buffer(kLongest);
  std::mt19937 rng(17);
  for (const auto* scan : RunnableVariants(kAlphabetRunScans)) {
    for (size_t length = 0; length <= kLongest; ++length) {
      uint8_t* text = buffer.end() - length;
      for (size_t i = 0; i < length; ++i) text[i] = static_cast<uint8_t>(kAlphabet[rng() % 64]);
      ASSERT_EQ(scan->kernel(text, length), length) << scan->name << " " << length;
      for (size_t stop = 0; stop < length; ++stop) {
        const uint8_t kept = text[stop];
        text[stop] = '=';
        ASSERT_EQ(scan->kernel(text, length), stop) << scan->name << " " << length << " " << stop;
        text[stop] = kept;
      }
    }
  }
}

// A text cut anywhere: the run of the first piece, and when it takes all of it,
// the run of the second goes on from there.
TEST(Base64Scan, AlphabetRunOfATextCutAnywhereAddsUp) {
  std::mt19937 rng(19);
  for (const auto* scan : RunnableVariants(kAlphabetRunScans)) {
    for (size_t length = 0; length <= 70; ++length) {
      for (int density : {0, 20}) {
        const std::string text = TextWithBreaks(rng, length, density);
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        const size_t whole = AlphabetRunPortable(bytes, length);
        for (size_t cut = 0; cut <= length; ++cut) {
          const size_t first = scan->kernel(bytes, cut);
          const size_t joined = first < cut ? first : cut + scan->kernel(bytes + cut, length - cut);
          ASSERT_EQ(joined, whole) << scan->name << " " << length << " " << density << " " << cut;
        }
      }
    }
  }
}

TEST(Base64Scan, DropLineBreaksEqualsPortableAtEveryLengthAndOffset) {
  for (const auto* scan : RunnableVariants(kDropLineBreaksScans)) {
    std::mt19937 rng(29);
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t length = 0; length <= 100; ++length) {
        for (int density : {0, 3, 20, 77}) {
          const std::string text = std::string(offset, 'A') + TextWithBreaks(rng, length, density);
          std::string fast = text;
          std::string portable = text;
          const size_t fast_length = scan->kernel(&fast[offset], length);
          const size_t portable_length = DropLineBreaksPortable(&portable[offset], length);
          ASSERT_EQ(fast_length, portable_length) << scan->name << " " << offset << " " << length << " " << density;
          ASSERT_EQ(fast.substr(offset, fast_length), portable.substr(offset, portable_length));
          // Nothing past the text is touched.
          ASSERT_EQ(fast.substr(0, offset), text.substr(0, offset));
        }
      }
    }
  }
}

// In place in a text that ends where an inaccessible page begins.
TEST(Base64Scan, DropLineBreaksStaysInATextAtAPageEnd) {
  constexpr size_t kLongest = 100;
  test::PageEndBuffer buffer(kLongest + 16);
  std::mt19937 rng(31);
  for (const auto* scan : RunnableVariants(kDropLineBreaksScans)) {
    for (size_t length = 0; length <= kLongest; ++length) {
      for (int density : {0, 3, 20}) {
        const std::string text = TextWithBreaks(rng, length, density);
        char* start = reinterpret_cast<char*>(buffer.end() - length);
        std::memcpy(start - 16, "0123456789abcdef", 16);
        std::memcpy(start, text.data(), length);
        const size_t kept = scan->kernel(start, length);
        ASSERT_EQ(std::string(start, kept), Dropped(text)) << scan->name << " " << length << " " << density;
        ASSERT_EQ(std::string(start - 16, 16), "0123456789abcdef") << "written before the text";
      }
    }
  }
}

// Each piece of a cut text on its own, as the decoder meets its blocks: the pieces'
// results joined are the whole text's.
TEST(Base64Scan, DropLineBreaksOfATextCutAnywhereAddsUp) {
  std::mt19937 rng(37);
  for (const auto* scan : RunnableVariants(kDropLineBreaksScans)) {
    for (size_t length = 0; length <= 70; ++length) {
      for (int density : {3, 20}) {
        const std::string text = TextWithBreaks(rng, length, density);
        const std::string whole = Dropped(text);
        for (size_t cut = 0; cut <= length; ++cut) {
          std::string pieces = text;
          const size_t first = scan->kernel(&pieces[0], cut);
          const size_t second = scan->kernel(&pieces[cut], length - cut);
          ASSERT_EQ(pieces.substr(0, first) + pieces.substr(cut, second), whole)
              << scan->name << " " << length << " " << density << " " << cut;
        }
      }
    }
  }
}

TEST(Base64Scan, DropLineBreaksKeepsEverythingElseInOrder) {
  std::string text = "QUJD\r\nREVG\nR0g=\r\n";
  const size_t length = DropLineBreaks(&text[0], text.size());
  EXPECT_EQ(text.substr(0, length), "QUJDREVGR0g=");
  EXPECT_EQ(AlphabetRun(reinterpret_cast<const uint8_t*>("QUJD\r\n"), 6), 4u);
}

TEST(Base64Scan, TheActiveVariantOfEveryTableIsItsLastSupportedOne) {
  test::ExpectEveryActiveIsLastSupported(EveryScanTable{});
  test::ExpectEveryTableStartsPortable(EveryScanTable{});
}

// The verdict and the message for a text fed whole, then for the text fed in two
// blocks cut at every place: the runs of letters that the alphabet scan takes must
// not change either when a block ends inside them.
TEST(Base64Check, EveryCutGivesTheWholeTextsVerdict) {
  std::mt19937 rng(41);
  std::vector<std::string> texts = {
      "", "Zg==", "Zm8=", "Zm9v", "Zg", "Zg=", "Zm9v!", "Zm 9v", "Zg==Zg==", "Zm9v\r", "Zm\r9v", "Z===", "Zm=v",
      "=", "Zm9v\tYmFy", std::string("Zm9vYmFy\0", 9), "Zm9v\r\nYmFy\nYg==\r\n", "Zm9vYmFy\xC3\xA9"};
  for (size_t length : {15, 16, 17, 47, 48, 49, 76}) {
    std::string letters;
    for (size_t i = 0; i < length; ++i) letters += kAlphabet[rng() % 64];
    texts.push_back(letters + "\n" + letters + "\r\n");
    texts.push_back(letters + "\n" + letters.substr(0, length - length % 4) + "=\n");
    texts.push_back(letters + "-" + letters);
  }
  for (const std::string& text : texts) {
    Base64Validator whole;
    const bool whole_ok = whole.Feed(text.data(), text.size()) && whole.End();
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      Base64Validator pieces;
      const bool ok = pieces.Feed(text.data(), cut) && pieces.Feed(text.data() + cut, text.size() - cut) &&
                      pieces.End();
      ASSERT_EQ(ok, whole_ok) << testing::PrintToString(text) << " cut at " << cut;
      ASSERT_EQ(pieces.error(), whole.error()) << testing::PrintToString(text) << " cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace telvarn::cli
