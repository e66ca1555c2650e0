// Line layout across blocks, and the block decoder over the module's Base64_Decode.
#include "cli/base64_blocks.h"

#include <cstring>

#include "cli/base64_scan.h"
#include "cli/base64_text_check.h"

namespace telvarn::cli {

void LineLayout::Add(const char* text, size_t count, std::vector<char>& out) {
  out.clear();
  if (columns_ == 0) {
    out.insert(out.end(), text, text + count);
    return;
  }
  out.reserve(count + static_cast<size_t>(count / columns_ + 1) * end_.size());
  while (count > 0) {
    const uint64_t room = columns_ - column_;
    const size_t take = room < count ? static_cast<size_t>(room) : count;
    out.insert(out.end(), text, text + take);
    text += take;
    count -= take;
    column_ += take;
    if (column_ == columns_) {
      out.insert(out.end(), end_.begin(), end_.end());
      column_ = 0;
    }
  }
}

// The text buffer holds a block, up to 3 carried characters and the NUL that ends
// each call's text; every 4 characters give at most 3 bytes.
BlockDecoder::BlockDecoder(const ModuleExports& exports, size_t block)
    : exports_(exports), text_(block + 8), bytes_(block / 4 * 3 + 16) {}

void BlockDecoder::Decode(size_t received, const char*& bytes, size_t& count) {
  const size_t length = carried_ + DropLineBreaks(room(), received);
  const size_t whole = length / 4 * 4;
  count = 0;
  bytes = bytes_.data();
  // The module takes one text per call, so a padded group, which ends a text,
  // ends a call.
  size_t start = 0;
  while (start < whole) {
    const size_t end = start + CanonicalUpToPadding(text_.data() + start, whole - start);
    const char kept = text_[end];
    text_[end] = '\0';
    const int32_t result = exports_.base64_decode(bytes_.data() + count, text_.data() + start, 0, 0);
    count += static_cast<size_t>(-static_cast<int64_t>(result));
    text_[end] = kept;
    start = end;
  }
  std::memmove(text_.data(), text_.data() + whole, length - whole);
  carried_ = length - whole;
}

}  // namespace telvarn::cli
