// Feeding a digest or CRC context a message in pieces, for the variant tests and the digest fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telvarn::test {

// Feeds `length` bytes of `message` to a fresh context of the variant, cut at
// `cuts` (ascending, each at most `length`), and returns `result` of the context.
template <class Context, class Variant, class Result>
std::string Pieces(const Variant& variant, const uint8_t* message, const std::vector<size_t>& cuts,
                   size_t length, Result result) {
  Context context(variant);
  size_t at = 0;
  for (size_t cut : cuts) {
    context.Update(message + at, cut - at);
    at = cut;
  }
  context.Update(message + at, length - at);
  return result(context);
}

}  // namespace telvarn::test
