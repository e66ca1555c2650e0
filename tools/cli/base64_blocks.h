// Base64 in blocks: encoded text laid out in lines across block ends, and checked
// text decoded through the module a block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "module_binding/module_binding.h"

namespace telvarn::cli {

// Lays one-line text out in lines of `columns` characters (0: one line), carrying
// the column from block to block, so that the blocks' lines joined are the lines
// of the whole text.
class LineLayout {
 public:
  LineLayout(uint64_t columns, bool crlf) : columns_(columns), end_(crlf ? "\r\n" : "\n") {}

  // `out` receives the block's text with its line ends.
  void Add(const char* text, size_t count, std::vector<char>& out);
  // The line end after a last, shorter line; none after an empty text.
  std::string Close() const { return columns_ != 0 && column_ != 0 ? end_ : std::string(); }

 private:
  uint64_t columns_;
  uint64_t column_ = 0;
  std::string end_;
};

// Decodes text that Base64Validator has passed, block by block, through the
// module's Base64_Decode: whole groups of four at a time, line breaks dropped, the
// rest of a group carried to the next block. The bits under each padding are
// cleared first, and each padded group ends a call of its own, so that the bytes
// are those of RFC 4648 decoding, padded texts one after another included.
class BlockDecoder {
 public:
  BlockDecoder(const ModuleExports& exports, size_t block);

  // Where the next block of text goes; at most `block` bytes.
  char* room() { return text_.data() + carried_; }
  // Decodes what room() received; `bytes` and `count` are the result, valid until
  // the next call.
  void Decode(size_t received, const char*& bytes, size_t& count);

 private:
  const ModuleExports& exports_;
  std::vector<char> text_;
  std::vector<char> bytes_;
  size_t carried_ = 0;
};

}  // namespace telvarn::cli
