// The SHA-3 sponge's buffering, padding and squeezing, and the four contexts' result texts.
#include "digest/sha3.h"

#include <cstring>

#include "codec/hex.h"

namespace telvarn {

void KeccakSponge::Reset() {
  std::memset(state_, 0, sizeof state_);
  fill_ = 0;
}

void KeccakSponge::Absorb(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (fill_ > 0) {
    const size_t take = rate_ - fill_ < count ? rate_ - fill_ : count;
    std::memcpy(block_ + fill_, bytes, take);
    fill_ += take;
    if (fill_ < rate_) return;
    absorb_(state_, block_, 1, rate_);
    fill_ = 0;
    bytes += take;
    count -= take;
  }
  if (count >= rate_) {
    absorb_(state_, bytes, count / rate_, rate_);
    bytes += count - count % rate_;
    count %= rate_;
  }
  std::memcpy(block_, bytes, count);
  fill_ = count;
}

void KeccakSponge::Squeeze(uint8_t* out, size_t size) const {
  uint64_t state[25];
  std::memcpy(state, state_, sizeof state);
  uint8_t last[kMostRate] = {};
  std::memcpy(last, block_, fill_);
  last[fill_] ^= 0x06;
  last[rate_ - 1] ^= 0x80;
  absorb_(state, last, 1, rate_);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(state[i / 8] >> (8 * (i % 8)));
}

template <size_t kBits>
void Sha3Context<kBits>::Complete() {
  if (finished_) return;
  sponge_.Squeeze(digest_, kDigestSize);
  WriteBytesHex(digest_, kDigestSize, kUpperCaseText, text_);
  text_[kTextLength] = '\0';
  finished_ = true;
}

template class Sha3Context<224>;
template class Sha3Context<256>;
template class Sha3Context<384>;
template class Sha3Context<512>;

}  // namespace telvarn
