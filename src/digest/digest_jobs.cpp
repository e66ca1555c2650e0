// The digest jobs: each context plugged into the worker frame with its result length.
#include <cstring>

#include "digest/hmac.h"
#include "digest/jobs.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha3.h"
#include "digest/worker_frame.h"

namespace telvarn {
namespace {

template <class Traits>
const char* ResultText(ShaContext<Traits>& context) {
  return context.Finish();
}
template <size_t kBits>
const char* ResultText(Sha3Context<kBits>& context) {
  return context.Finish();
}
const char* ResultText(Md5Context& context) { return context.HexDigest(); }

template <class Context>
class DigestJob final : public JobAlgorithm {
 public:
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, static_cast<uint32_t>(Context::kTextLength)};
  static_assert(Context::kTextLength <= kMaxResultLength);

  void Update(const uint8_t* bytes, size_t count) override { context_.Update(bytes, count); }
  void Finish(char* text) override {
    std::memcpy(text, ResultText(context_), Context::kTextLength + 1);
  }

 private:
  Context context_;
};

// HMAC over a digest context, keyed with the copy of the IO's key area that the
// job took at launch.
template <class Hash>
class HmacJob final : public JobAlgorithm {
 public:
  static constexpr size_t kTextLength = Hmac<Hash>::kTextLength;
  static constexpr JobShape kShape{kFileChunkBytes, kMemoryChunkBytes, static_cast<uint32_t>(kTextLength)};
  static_assert(kTextLength <= kMaxResultLength);

  explicit HmacJob(const uint8_t* key_area) { hmac_.SetKey(key_area, kKeyAreaSize); }
  void Update(const uint8_t* bytes, size_t count) override { hmac_.Update(bytes, count); }
  void Finish(char* text) override { std::memcpy(text, hmac_.HexDigest(), kTextLength + 1); }

 private:
  Hmac<Hash> hmac_;
};

}  // namespace

const JobKind kSha1Job = kJobOf<DigestJob<Sha1Context>>;
const JobKind kSha256Job = kJobOf<DigestJob<Sha256Context>>;
const JobKind kSha512Job = kJobOf<DigestJob<Sha512Context>>;
const JobKind kSha224Job = kJobOf<DigestJob<Sha224Context>>;
const JobKind kSha384Job = kJobOf<DigestJob<Sha384Context>>;
const JobKind kSha512_224Job = kJobOf<DigestJob<Sha512_224Context>>;
const JobKind kSha512_256Job = kJobOf<DigestJob<Sha512_256Context>>;
const JobKind kSha3_224Job = kJobOf<DigestJob<Sha3_224Context>>;
const JobKind kSha3_256Job = kJobOf<DigestJob<Sha3_256Context>>;
const JobKind kSha3_384Job = kJobOf<DigestJob<Sha3_384Context>>;
const JobKind kSha3_512Job = kJobOf<DigestJob<Sha3_512Context>>;
const JobKind kMd5Job = kJobOf<DigestJob<Md5Context>>;
const JobKind kMd5KeyJob = kJobOf<HmacJob<Md5Context>>;
const JobKind kSha1KeyJob = kJobOf<HmacJob<Sha1Context>>;
const JobKind kSha256KeyJob = kJobOf<HmacJob<Sha256Context>>;
const JobKind kSha512KeyJob = kJobOf<HmacJob<Sha512Context>>;
const JobKind kSha224KeyJob = kJobOf<HmacJob<Sha224Context>>;
const JobKind kSha384KeyJob = kJobOf<HmacJob<Sha384Context>>;
const JobKind kSha512_224KeyJob = kJobOf<HmacJob<Sha512_224Context>>;
const JobKind kSha512_256KeyJob = kJobOf<HmacJob<Sha512_256Context>>;
const JobKind kSha3_224KeyJob = kJobOf<HmacJob<Sha3_224Context>>;
const JobKind kSha3_256KeyJob = kJobOf<HmacJob<Sha3_256Context>>;
const JobKind kSha3_384KeyJob = kJobOf<HmacJob<Sha3_384Context>>;
const JobKind kSha3_512KeyJob = kJobOf<HmacJob<Sha3_512Context>>;

}  // namespace telvarn
