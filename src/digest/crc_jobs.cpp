// The checksum jobs: the CRCs plugged into the worker frame.
#include "codec/hex.h"
#include "digest/crc.h"
#include "digest/jobs.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

// Digits: the result text's length; FileChunk: the chunk size for file input.
template <class Crc, unsigned Digits, uint32_t FileChunk>
class CrcJob final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{FileChunk, kMemoryChunkBytes, Digits};
  void Update(const uint8_t* bytes, size_t count) override { crc_.Update(bytes, count); }
  void Finish(char* text) override {
    WriteHexUpper(crc_.value(), Digits, text);
    text[Digits] = '\0';
  }

 private:
  Crc crc_;
};

using Crc32Job = CrcJob<Crc32, 8, kFileChunkBytes>;
// The CRC-16 job reads files in memory-sized chunks too.
using Crc16Job = CrcJob<Crc16Mcrf4xx, 4, kMemoryChunkBytes>;
using Crc32cJob = CrcJob<Crc32c, 8, kFileChunkBytes>;
using Crc64Job = CrcJob<Crc64Xz, 16, kFileChunkBytes>;

}  // namespace

const JobKind kCrc32Job = kJobOf<Crc32Job>;
const JobKind kCrc16Job = kJobOf<Crc16Job>;
const JobKind kCrc32cJob = kJobOf<Crc32cJob>;
const JobKind kCrc64Job = kJobOf<Crc64Job>;

}  // namespace telvarn
