// RSA key import: finding the sections, trimming, the hexadecimal texts and the sections' rooms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "slot_table/slot_table.h"
#include "slot_table/var_desc.h"
#include "codec/base64.h"
#include "codec/rsa_key.h"
#include "support/guarded_buffer.h"
#include "support/test_support.h"

namespace telvarn {
namespace {

using test::RandomBytes;

constexpr uint8_t kUntouched = 0x5A;

// A key text variable: `first` from byte 0 and `second` from byte 4 * stride, zero
// bytes elsewhere, and a zero byte after both.
std::vector<char> Layout(const std::string& first, int32_t stride, const std::string& second) {
  const size_t at = 4 * static_cast<size_t>(stride);
  std::vector<char> data(std::max(first.size(), at + second.size()) + 8, '\0');
  std::memcpy(data.data(), first.data(), first.size());
  std::memcpy(data.data() + at, second.data(), second.size());
  return data;
}

VarDesc Var(std::vector<char>& data, int32_t stride) {
  VarDesc var{};
  var.data = data.data();
  var.stride_words = stride;
  return var;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

// The encoder's text for `bytes`, with or without its line breaks.
std::string Encoded(const std::vector<uint8_t>& bytes, int32_t line_mode) {
  std::vector<uint8_t> text(static_cast<size_t>(EncodedBase64Length(bytes.size(), line_mode)) + 1);
  const uint8_t nul = 0;
  const uint8_t* source = bytes.empty() ? &nul : bytes.data();
  EncodeBase64(text.data(), source, static_cast<uint32_t>(bytes.size()), line_mode);
  return std::string(reinterpret_cast<const char*>(text.data()));
}

// Imports into a key area that lies between guard bytes, so that a write on either
// side of it shows whatever lies next to the area in the IO record.
class RsaKeyImport : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_EQ(guarded_.Damage(), "") << "around key_area"; }

  int32_t Import(std::vector<char>& data, int32_t stride) {
    return ImportRsaKey(*reinterpret_cast<uint8_t(*)[kKeyAreaSize]>(key_area_), Var(data, stride));
  }

  void Refill() { std::memset(key_area_, kUntouched, kKeyAreaSize); }

  std::string TextAt(size_t position) const {
    return std::string(reinterpret_cast<const char*>(key_area_ + position));
  }

  // key_area[begin, end) still holds the fill.
  bool Untouched(size_t begin, size_t end) const {
    for (size_t i = begin; i < end; ++i) {
      if (key_area_[i] != kUntouched) return false;
    }
    return true;
  }

  // A stored text: the digits, a NUL, and the fill up to the end of its room.
  void ExpectStored(size_t position, const std::string& digits, size_t room_end) const {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(key_area_ + position), digits.size()), digits);
    EXPECT_EQ(key_area_[position + digits.size()], 0) << "NUL after the digits";
    EXPECT_TRUE(Untouched(position + digits.size() + 1, room_end)) << "written past the NUL";
  }

  // A refused section: a NUL at the start of its room and the fill after it.
  void ExpectEmptied(size_t position, size_t room_end) const {
    EXPECT_EQ(key_area_[position], 0) << "the room is emptied";
    EXPECT_TRUE(Untouched(position + 1, room_end)) << "nothing else written";
  }

  test::GuardedBuffer guarded_{kKeyAreaSize, 256, 0xC3, kUntouched};
  uint8_t* const key_area_ = guarded_.data();
};

// The export imports into the IO record's own key area.
TEST(RsaKeyImportIntoAnIo, StoresBothSectionsInTheRecordsKeyArea) {
  SlotTable table;
  IoSlot* slot = table.find_or_register(7);
  ASSERT_NE(slot, nullptr);
  std::vector<char> data = Layout("&Zm9v", 2, "#YmFy");
  EXPECT_EQ(ImportRsaKey(*slot, Var(data, 2)), -3);
  EXPECT_STREQ(reinterpret_cast<const char*>(slot->key_area), "666F6F");
  EXPECT_STREQ(reinterpret_cast<const char*>(slot->key_area + 1024), "626172");
}

TEST_F(RsaKeyImport, NoMarkerStoresNothing) {
  std::vector<char> data = Layout("Zm9v", 2, "YmFy");
  const std::vector<char> before = data;
  EXPECT_EQ(Import(data, 2), 0);
  EXPECT_TRUE(Untouched(0, kKeyAreaSize));
  EXPECT_EQ(data, before);
}

TEST_F(RsaKeyImport, FirstSectionAloneBecomesUpperCaseDigitsAtZero) {
  std::vector<char> data = Layout("&q83v", 100, "");
  EXPECT_EQ(Import(data, 100), -1);
  ExpectStored(0, "ABCDEF", kKeyAreaSize);
}

TEST_F(RsaKeyImport, BothSectionsGoToZeroAnd1024) {
  std::vector<char> data = Layout("&Zm9v", 2, "#YmFy");
  EXPECT_EQ(Import(data, 2), -3);
  ExpectStored(0, "666F6F", 1024);
  ExpectStored(1024, "626172", kKeyAreaSize);
}

TEST_F(RsaKeyImport, SecondSectionAlone) {
  std::vector<char> data = Layout("Zm9v", 3, "#YmFy");
  EXPECT_EQ(Import(data, 3), -2);
  EXPECT_TRUE(Untouched(0, 1024));
  ExpectStored(1024, "626172", kKeyAreaSize);
}

TEST_F(RsaKeyImport, TrailingLineBreaksAreTrimmedInTheVariable) {
  std::vector<char> data = Layout("&Zm9v\r\n", 4, "#YmFy\n\r\n");
  EXPECT_EQ(Import(data, 4), -3);
  ExpectStored(0, "666F6F", 1024);
  ExpectStored(1024, "626172", kKeyAreaSize);
  EXPECT_EQ(std::string(data.data(), 8), std::string("&Zm9v\0\0\0", 8));
  EXPECT_EQ(std::string(data.data() + 16, 9), std::string("#YmFy\0\0\0\0", 9));
}

TEST_F(RsaKeyImport, LineBreaksInsideABodyChangeNothing) {
  std::mt19937 rng(72);
  const std::vector<uint8_t> first = RandomBytes(rng, 300);
  const std::vector<uint8_t> second = RandomBytes(rng, 200);
  const std::string first_text = "&" + Encoded(first, 1);
  ASSERT_NE(first_text.find("\r\n"), first_text.size() - 2) << "breaks inside the body";
  const int32_t stride = static_cast<int32_t>(first_text.size() / 4 + 1);
  std::vector<char> data = Layout(first_text, stride, "#" + Encoded(second, 1));
  EXPECT_EQ(Import(data, stride), -3);
  ExpectStored(0, Hex(first), 1024);
  ExpectStored(1024, Hex(second), kKeyAreaSize);
}

TEST_F(RsaKeyImport, PaddingSetsTheLastGroupsByteCount) {
  std::vector<char> one = Layout("&Zm8=", 50, "");
  EXPECT_EQ(Import(one, 50), -1);
  ExpectStored(0, "666F", kKeyAreaSize);
  Refill();
  std::vector<char> two = Layout("&Zg==", 50, "");
  EXPECT_EQ(Import(two, 50), -1);
  ExpectStored(0, "66", kKeyAreaSize);
}

TEST_F(RsaKeyImport, AnEmptyBodyCountsAndWritesNothing) {
  std::vector<char> alone = Layout("&", 50, "");
  EXPECT_EQ(Import(alone, 50), -1);
  std::vector<char> breaks_only = Layout("&\r\n", 50, "");
  EXPECT_EQ(Import(breaks_only, 50), -1);
  EXPECT_EQ(breaks_only[1], '\0');
  std::vector<char> both = Layout("&", 1, "#\n");
  EXPECT_EQ(Import(both, 1), -3);
  EXPECT_TRUE(Untouched(0, kKeyAreaSize));
}

TEST_F(RsaKeyImport, StrideZeroPutsTheSecondMarkersPlaceAtTheStart) {
  std::vector<char> first = Layout("&Zm9v", 0, "");
  EXPECT_EQ(Import(first, 0), -1);
  ExpectStored(0, "666F6F", kKeyAreaSize);

  Refill();
  std::vector<char> second = Layout("#Zm9v", 0, "");
  EXPECT_EQ(Import(second, 0), -2);
  EXPECT_TRUE(Untouched(0, 1024));
  ExpectStored(1024, "666F6F", kKeyAreaSize);
}

// '#' at byte 4 lies inside the first body, which is decoded (the '#' counting
// 255) and trimmed before the second body is read from the same bytes.
TEST_F(RsaKeyImport, TheFirstSectionIsHandledBeforeTheSecond) {
  std::vector<char> data = Layout("&QUJ#Zm9v\r\n", 1, "");
  EXPECT_EQ(Import(data, 1), -3);
  // Python model of the decoding rules: "QUJ#Zm9v" -> 41 43 3F 66 6F 6F.
  ExpectStored(0, "41433F666F6F", 1024);
  ExpectStored(1024, "666F6F", kKeyAreaSize);
}

TEST_F(RsaKeyImport, FirstSectionRoomEndsAt1024WhenASecondFollows) {
  std::mt19937 rng(511);
  const std::vector<uint8_t> fits = RandomBytes(rng, 511);
  const std::string fits_text = "&" + Encoded(fits, 1);
  const int32_t stride = 1000;
  std::vector<char> data = Layout(fits_text, stride, "#YmFy");
  EXPECT_EQ(Import(data, stride), -3);
  ExpectStored(0, Hex(fits), 1024);
  EXPECT_EQ(key_area_[1022], 0);
  ExpectStored(1024, "626172", kKeyAreaSize);

  Refill();
  std::vector<char> too_long = Layout("&" + Encoded(RandomBytes(rng, 512), 0), stride, "#YmFy");
  EXPECT_EQ(Import(too_long, stride), -2) << "the first section is refused and not counted";
  ExpectEmptied(0, 1024);
  ExpectStored(1024, "626172", kKeyAreaSize);
}

TEST_F(RsaKeyImport, FirstSectionAloneMayUseTheWholeArea) {
  std::mt19937 rng(2047);
  const std::vector<uint8_t> fits = RandomBytes(rng, 2047);
  std::vector<char> data = Layout("&" + Encoded(fits, 1), 3000, "");
  EXPECT_EQ(Import(data, 3000), -1);
  EXPECT_EQ(TextAt(0), Hex(fits));
  EXPECT_EQ(key_area_[4094], 0);
  EXPECT_EQ(key_area_[4095], kUntouched);

  // The same 600 bytes fit alone but not in front of a second section.
  Refill();
  const std::vector<uint8_t> middle = RandomBytes(rng, 600);
  std::vector<char> alone = Layout("&" + Encoded(middle, 0), 3000, "");
  EXPECT_EQ(Import(alone, 3000), -1);
  ExpectStored(0, Hex(middle), kKeyAreaSize);
  Refill();
  std::vector<char> paired = Layout("&" + Encoded(middle, 0), 3000, "#");
  EXPECT_EQ(Import(paired, 3000), -2);
  ExpectEmptied(0, kKeyAreaSize);

  Refill();
  std::vector<char> too_long = Layout("&" + Encoded(RandomBytes(rng, 2048), 0), 3000, "");
  EXPECT_EQ(Import(too_long, 3000), 0);
  ExpectEmptied(0, kKeyAreaSize);
}

TEST_F(RsaKeyImport, SecondSectionRoomRunsFrom1024ToTheEnd) {
  std::mt19937 rng(1535);
  const std::vector<uint8_t> fits = RandomBytes(rng, 1535);
  std::vector<char> data = Layout("&Zm9v", 4, "#" + Encoded(fits, 1));
  EXPECT_EQ(Import(data, 4), -3);
  ExpectStored(0, "666F6F", 1024);
  EXPECT_EQ(TextAt(1024), Hex(fits));
  EXPECT_EQ(key_area_[4094], 0);
  EXPECT_EQ(key_area_[4095], kUntouched);

  Refill();
  std::vector<char> too_long = Layout("&Zm9v", 4, "#" + Encoded(RandomBytes(rng, 1536), 0));
  EXPECT_EQ(Import(too_long, 4), -1) << "the second section is refused and not counted";
  ExpectStored(0, "666F6F", 1024);
  ExpectEmptied(1024, kKeyAreaSize);
}

TEST_F(RsaKeyImport, RefusedSectionsAreStillTrimmed) {
  std::mt19937 rng(9);
  std::string body = Encoded(RandomBytes(rng, 3000), 0);
  std::vector<char> data = Layout("&" + body + "\r\n", 2000, "");
  EXPECT_EQ(Import(data, 2000), 0);
  EXPECT_EQ(data[body.size() + 1], '\0');
  EXPECT_EQ(data[body.size() + 2], '\0');
  ExpectEmptied(0, kKeyAreaSize);
}

// An import whose sections are both refused leaves empty texts at 0 and 1024 in
// place of an earlier import's, and changes no other byte: the keyed job then
// uses the empty key, never the stale one.
TEST_F(RsaKeyImport, RefusedSectionsReplaceAnEarlierKeyWithTheEmptyOne) {
  std::vector<char> earlier = Layout("&AQID", 300, "#Zm9v");
  EXPECT_EQ(Import(earlier, 300), -3);
  ExpectStored(0, "010203", 1024);
  ExpectStored(1024, "666F6F", kKeyAreaSize);

  std::mt19937 rng(1536);
  std::vector<char> refused = Layout("&" + Encoded(RandomBytes(rng, 512), 1), 300,
                                     "#" + Encoded(RandomBytes(rng, 1536), 1));
  EXPECT_EQ(Import(refused, 300), 0);
  EXPECT_EQ(TextAt(0), "");
  EXPECT_EQ(TextAt(1024), "");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(key_area_ + 1), 6), std::string("10203\0", 6));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(key_area_ + 1025), 6), std::string("66F6F\0", 6));
  EXPECT_TRUE(Untouched(7, 1024));
  EXPECT_TRUE(Untouched(1031, kKeyAreaSize));

  // Only the refused one: the first section stays as stored.
  EXPECT_EQ(Import(earlier, 300), -3);
  std::vector<char> second_refused = Layout("&AQID", 300, "#" + Encoded(RandomBytes(rng, 1536), 0));
  EXPECT_EQ(Import(second_refused, 300), -1);
  EXPECT_EQ(TextAt(0), "010203");
  EXPECT_EQ(TextAt(1024), "");
}

}  // namespace
}  // namespace telvarn
