// The check of Base64 text that telvarn makes before the module decodes any of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telvarn::cli {

// Checks Base64 text block by block, as RFC 4648 writes it: the 64-letter alphabet,
// '=' padding that completes the last group of four and nothing after it, and line
// breaks of LF or CR LF anywhere. Anything else stops it at its first bad byte.
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
  bool closed_ = false;       // the padding has completed the last group
  bool after_cr_ = false;     // the byte before was a CR
  std::string error_;
};

}  // namespace telvarn::cli
