// The base64 command: encoding and decoding in bounded memory through the module's
// Base64 exports, with the checks and line layouts that GNU base64 users expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli_console.h"
#include "host_exports.h"

namespace telvarn::cli {

int RunBase64Command(Console& console, const HostExports& exports, const Arguments& args);

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
