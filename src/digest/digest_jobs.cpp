// The digest jobs: each context plugged into the worker frame with its result length.
#include <cstring>

#include "digest/hmac_md5.h"
#include "digest/jobs.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

const char* ResultText(Sha1Context& context) { return context.Finish(); }
const char* ResultText(Sha256Context& context) { return context.Finish(); }
const char* ResultText(Sha512Context& context) { return context.Finish(); }
const char* ResultText(Md5Context& context) { return context.HexDigest(); }

template <class Context>
class DigestJob final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{4096, 1024, static_cast<uint32_t>(Context::kTextLength)};
  static_assert(Context::kTextLength <= kMaxResultLength);

  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  void Finish(char* text) override {
    std::memcpy(text, ResultText(context_), Context::kTextLength + 1);
  }

 private:
  Context context_;
};

// The key is read from the IO's key area once, before any input.
class HmacMd5Job final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{4096, 1024, static_cast<uint32_t>(HmacMd5::kTextLength)};

  explicit HmacMd5Job(const IoSlot& slot) { hmac_.SetKey(slot.key_area, sizeof slot.key_area); }
  void Update(const uint8_t* bytes, size_t count) override { hmac_.Update(bytes, count); }
  void Finish(char* text) override { std::memcpy(text, hmac_.HexDigest(), HmacMd5::kTextLength + 1); }

 private:
  HmacMd5 hmac_;
};

}  // namespace

uint32_t TELVARN_STDCALL SHA1_Worker(void* slot) { return RunWorker<DigestJob<Sha1Context>>(slot); }
uint32_t TELVARN_STDCALL SHA256_Worker(void* slot) { return RunWorker<DigestJob<Sha256Context>>(slot); }
uint32_t TELVARN_STDCALL SHA512_Worker(void* slot) { return RunWorker<DigestJob<Sha512Context>>(slot); }
uint32_t TELVARN_STDCALL MD5_Worker(void* slot) { return RunWorker<DigestJob<Md5Context>>(slot); }
uint32_t TELVARN_STDCALL MD5Key_Worker(void* slot) { return RunWorker<HmacMd5Job>(slot); }

const JobRoutines kSha1Job{&SHA1_Worker, &RunJobHere<DigestJob<Sha1Context>>};
const JobRoutines kSha256Job{&SHA256_Worker, &RunJobHere<DigestJob<Sha256Context>>};
const JobRoutines kSha512Job{&SHA512_Worker, &RunJobHere<DigestJob<Sha512Context>>};
const JobRoutines kMd5Job{&MD5_Worker, &RunJobHere<DigestJob<Md5Context>>};
const JobRoutines kMd5KeyJob{&MD5Key_Worker, &RunJobHere<HmacMd5Job>};

}  // namespace telvarn
