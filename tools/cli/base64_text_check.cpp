// The Base64 text check: a class per byte, and runs of letters taken by the alphabet scan.
#include "cli/base64_text_check.h"

#include <cstring>

#include "cli/base64_scan.h"
#include "codec/hex.h"

namespace telvarn::cli {
namespace {

enum CharClass : uint8_t { kAlphabet, kPad, kCarriageReturn, kLineFeed, kOther };

constexpr char kAlphabetLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct ClassTable {
  uint8_t of[256];
  uint8_t value[256];  // a letter's six bits
  ClassTable() {
    std::memset(of, kOther, sizeof of);
    std::memset(value, 0, sizeof value);
    for (uint8_t v = 0; v < 64; ++v) {
      of[static_cast<uint8_t>(kAlphabetLetters[v])] = kAlphabet;
      value[static_cast<uint8_t>(kAlphabetLetters[v])] = v;
    }
    of[static_cast<uint8_t>('=')] = kPad;
    of[static_cast<uint8_t>('\r')] = kCarriageReturn;
    of[static_cast<uint8_t>('\n')] = kLineFeed;
  }
};
const ClassTable kClasses;

std::string ShowByte(uint8_t c) {
  if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  char digits[2];
  WriteHexUpper(c, 2, digits);
  return "byte 0x" + std::string(digits, 2);
}

}  // namespace

bool Base64Validator::Fail(const std::string& what) {
  if (error_.empty()) error_ = what;
  return false;
}

bool Base64Validator::Feed(const char* text, size_t count) {
  if (!error_.empty()) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = bytes[i];
    const uint8_t kind = kClasses.of[c];
    if (after_cr_ && kind != kLineFeed) {
      return Fail("a CR not followed by LF at byte " + std::to_string(offset_ + i));
    }
    if (kind == kAlphabet && !pad_open_) {
      // The common case, a run of letters in the open part of the text.
      const size_t run = AlphabetRun(bytes + i, count - i);
      significant_ += run;
      i += run - 1;
      continue;
    }
    switch (kind) {
      case kAlphabet:
        return Fail("a letter inside the padding at byte " + std::to_string(offset_ + i));
      case kPad: {
        const uint64_t place = significant_ & 3;
        if (place < 2) return Fail("'=' where no padding can be, at byte " + std::to_string(offset_ + i));
        ++significant_;
        pad_open_ = place == 2;
        break;
      }
      case kCarriageReturn:
        after_cr_ = true;
        break;
      case kLineFeed:
        after_cr_ = false;
        break;
      default:
        return Fail(ShowByte(c) + " at byte " + std::to_string(offset_ + i) + " is not Base64");
    }
  }
  offset_ += count;
  return true;
}

bool Base64Validator::End() {
  if (!error_.empty()) return false;
  if (after_cr_) return Fail("a CR not followed by LF at the end");
  if (pad_open_ || (significant_ & 3) != 0) {
    return Fail("the text ends inside a group of four characters (missing padding?)");
  }
  return true;
}

size_t KeepBase64Only(char* text, size_t count) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  size_t kept = 0;
  size_t i = 0;
  while (i < count) {
    const size_t run = AlphabetRun(bytes + i, count - i);
    if (kept != i) std::memmove(text + kept, text + i, run);
    kept += run;
    i += run;
    if (i < count) {
      if (text[i] == '=') text[kept++] = '=';
      ++i;
    }
  }
  return kept;
}

size_t CanonicalUpToPadding(char* groups, size_t count) {
  const void* pad = std::memchr(groups, '=', count);
  if (pad == nullptr) return count;
  const size_t end = (static_cast<size_t>(static_cast<const char*>(pad) - groups) / 4 + 1) * 4;
  // "xy==" keeps the top two bits of y, "xyz=" the top four of z.
  const bool two_pads = groups[end - 2] == '=';
  char& last = groups[end - (two_pads ? 3 : 2)];
  const uint8_t kept_bits = two_pads ? 0x30 : 0x3C;
  last = kAlphabetLetters[kClasses.value[static_cast<uint8_t>(last)] & kept_bits];
  return end;
}

}  // namespace telvarn::cli
