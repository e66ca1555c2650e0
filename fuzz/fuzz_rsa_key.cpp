// libFuzzer target: the RSA key import on any key text, against a model and for stray writes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "slot_table/slot_table.h"
#include "slot_table/var_desc.h"
#include "codec/base64.h"
#include "codec/rsa_key.h"
#include "support/guarded_buffer.h"

namespace {

constexpr uint8_t kFill = 0x5A;
constexpr size_t kSecondAt = 1024;
constexpr uint8_t kGuard = 0xC3;
constexpr size_t kGuardBytes = 256;

std::vector<uint8_t> DecodeBody(char* body) {
  const size_t room = (3 * std::strlen(body) + 15) / 4 + 1;
  std::vector<uint8_t> bytes(room);
  const int32_t result = telvarn::DecodeBase64(bytes.data(), body);
  bytes.resize(static_cast<size_t>(-static_cast<int64_t>(result)));
  return bytes;
}

// Stores the digits and the NUL when they fit in [begin, end); true when stored
// (a section without bytes counts but writes nothing). One that does not fit
// empties its room: a NUL at `begin` and nothing more.
bool Store(const std::vector<uint8_t>& bytes, size_t begin, size_t end, uint8_t* area) {
  if (bytes.empty()) return true;
  if (2 * bytes.size() + 1 > end - begin) {
    area[begin] = 0;
    return false;
  }
  char pair[3];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    area[begin + 2 * i] = static_cast<uint8_t>(pair[0]);
    area[begin + 2 * i + 1] = static_cast<uint8_t>(pair[1]);
  }
  area[begin + 2 * bytes.size()] = 0;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t text_size = size - 2;
  // The second section's place stays inside the variable (its final NUL included).
  const auto stride = static_cast<int32_t>((data[0] | (data[1] << 8)) % (text_size / 4 + 1));

  std::unique_ptr<char[]> variable(new char[text_size + 1]);
  if (text_size != 0) std::memcpy(variable.get(), data + 2, text_size);
  variable[text_size] = '\0';
  std::vector<char> model(variable.get(), variable.get() + text_size + 1);

  // The model handles the first section completely, then looks for the second;
  // the first section's room depends on what it finds there.
  uint8_t expected_area[telvarn::kKeyAreaSize];
  std::memset(expected_area, kFill, sizeof expected_area);
  int32_t expected = 0;
  const bool has_first = model[0] == '&';
  std::vector<uint8_t> first;
  if (has_first) first = DecodeBody(model.data() + 1);
  const size_t second_at = 4 * static_cast<size_t>(stride);
  const bool has_second = model[second_at] == '#';
  if (has_first && Store(first, 0, has_second ? kSecondAt : telvarn::kKeyAreaSize, expected_area)) {
    expected |= 1;
  }
  if (has_second) {
    const std::vector<uint8_t> second = DecodeBody(model.data() + second_at + 1);
    if (Store(second, kSecondAt, telvarn::kKeyAreaSize, expected_area)) expected |= 2;
  }

  // The key area lies between guard bytes, so that a write on either side of it
  // shows whatever lies next to the area in the IO record.
  telvarn::test::GuardedBuffer guarded(telvarn::kKeyAreaSize, kGuardBytes, kGuard, kFill);
  uint8_t* key_area = guarded.data();

  telvarn::VarDesc var{};
  var.data = variable.get();
  var.stride_words = stride;
  const int32_t result =
      telvarn::ImportRsaKey(*reinterpret_cast<uint8_t(*)[telvarn::kKeyAreaSize]>(key_area), var);

  if (result != -expected) std::abort();
  if (!guarded.Damage().empty()) std::abort();
  if (std::memcmp(key_area, expected_area, sizeof expected_area) != 0) std::abort();
  if (std::memcmp(variable.get(), model.data(), text_size + 1) != 0) std::abort();
  return 0;
}
