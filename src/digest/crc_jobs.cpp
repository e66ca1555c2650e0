// The two checksum jobs: the CRCs plugged into the worker frame.
#include "digest/crc.h"
#include "digest/hex.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

class Crc32Job final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{4096, 1024, 8};
  void Update(const uint8_t* bytes, size_t count) override { crc_.Update(bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(crc_.value(), 8, text);
    text[8] = '\0';
  }

 private:
  Crc32 crc_;
};

// The CRC-16 job reads files in 1024-byte chunks too.
class Crc16Job final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{1024, 1024, 4};
  void Update(const uint8_t* bytes, size_t count) override { crc_.Update(bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(crc_.value(), 4, text);
    text[4] = '\0';
  }

 private:
  Crc16Mcrf4xx crc_;
};

}  // namespace

uint32_t TELVARN_STDCALL CRC32_Worker(void* slot) { return RunWorker<Crc32Job>(slot); }
uint32_t TELVARN_STDCALL CRC16_Worker(void* slot) { return RunWorker<Crc16Job>(slot); }

}  // namespace telvarn
