// The check of Base64 text that telvarn makes before the module decodes any of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telvarn::cli {

// Checks Base64 text block by block, as RFC 4648 writes it: the 64-letter alphabet,
// '=' padding that completes a group of four, and line breaks of LF or CR LF
// anywhere. Padded texts may follow each other ("YQ==YQ==" is two texts, as GNU
// base64 reads it). Anything else stops it at its first bad byte.
class Base64Validator {
 public:
  // False at the first byte that cannot be there; error() says which and where.
  bool Feed(const char* text, size_t count);
  // False when the text ends inside a group of four or after a lone CR.
  bool End();
  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& what);

  uint64_t offset_ = 0;       // bytes fed so far
  uint64_t significant_ = 0;  // alphabet characters and '=' so far
  bool pad_open_ = false;     // one '=' seen where a second must follow
  bool after_cr_ = false;     // the byte before was a CR
  std::string error_;
};

// Drops, in place, every byte that is neither a letter of the Base64 alphabet nor
// '=' (line breaks included), for decoding that ignores garbage; the length left.
size_t KeepBase64Only(char* text, size_t count);

// Makes the padded groups of whole groups of four canonical, in place: the bits
// under the padding, which carry no byte, are cleared in the letter that holds
// them ("YWJ=" becomes "YWI="), so that a decoder that keeps them cannot turn them
// into a byte. Returns the end of the first padded group (a multiple of 4), or
// `count` when none is padded.
size_t CanonicalUpToPadding(char* groups, size_t count);

}  // namespace telvarn::cli
