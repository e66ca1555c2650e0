// The shared BLAKE3 hasher: a span cut into complete subtrees, hashed on the crew, joined in order.
#include "digest/blake3_shared.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace telvarn {
namespace {

// Helpers held by every hasher that draws on the budget.
std::atomic<uint32_t> g_budget_taken{0};

// Up to `wanted` helpers of a budget of `size`; 0 when it is spent.
uint32_t TakeFromBudget(uint32_t wanted, uint32_t size) {
  uint32_t taken = g_budget_taken.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t left = taken < size ? size - taken : 0;
    const uint32_t grant = wanted < left ? wanted : left;
    if (grant == 0) return 0;
    if (g_budget_taken.compare_exchange_weak(taken, taken + grant, std::memory_order_relaxed)) return grant;
  }
}

}  // namespace

Blake3SharedHasher::Blake3SharedHasher(const uint8_t* key, uint32_t helpers, size_t shared_bytes)
    : hasher_(key, Active<kBlake3Kernels>()),
      keyed_(key != nullptr),
      wanted_helpers_(helpers == kHelpersForThisProcess ? 0 : helpers),
      from_budget_(helpers == kHelpersForThisProcess),
      shared_bytes_(shared_bytes > kBlake3ChunkLength ? shared_bytes : 2 * kBlake3ChunkLength) {
  if (keyed_) std::memcpy(key_, key, kBlake3KeyLength);
}

Blake3SharedHasher::~Blake3SharedHasher() {
  // The helpers end first; only then are they free for another job.
  crew_.reset();
  if (from_budget_taken_ > 0) g_budget_taken.fetch_sub(from_budget_taken_, std::memory_order_relaxed);
}

uint32_t Blake3SharedHasher::HelpersForThisProcess() {
  const uint32_t processors = platform::Os::usable_processors();
  const uint32_t helpers = processors > 1 ? processors - 1 : 0;
  return helpers < HelperCrew::kMostHelpers ? helpers : HelperCrew::kMostHelpers;
}

void Blake3SharedHasher::HashPiece(void* self, uint32_t index) {
  auto& shared = *static_cast<Blake3SharedHasher*>(self);
  Piece& piece = shared.pieces_[index];
  Blake3HashSubtree(shared.span_ + piece.offset, piece.chunks, piece.first_chunk, shared.keyed_ ? shared.key_ : nullptr,
                    piece.cv, shared.hasher_.variant());
}

void Blake3SharedHasher::Update(const uint8_t* bytes, size_t count) {
  if (count >= shared_bytes_ && from_budget_ && !crew_) {
    if (budget_size_ == kHelpersForThisProcess) budget_size_ = HelpersForThisProcess();
    from_budget_taken_ = TakeFromBudget(budget_size_, budget_size_);
    wanted_helpers_ = from_budget_taken_;
  }
  if (count < shared_bytes_ || wanted_helpers_ == 0) {
    hasher_.Update(bytes, count);
    return;
  }
  if (!crew_) {
    crew_.reset(new (std::nothrow) HelperCrew(wanted_helpers_));
    if (!crew_) {
      if (from_budget_taken_ > 0) g_budget_taken.fetch_sub(from_budget_taken_, std::memory_order_relaxed);
      from_budget_taken_ = 0;
      hasher_.Update(bytes, count);
      return;
    }
  }
  // Up to a chunk boundary first, should a span ever start inside a chunk.
  const size_t into_chunk = static_cast<size_t>(hasher_.position() % kBlake3ChunkLength);
  if (into_chunk != 0) {
    const size_t fill = kBlake3ChunkLength - into_chunk;
    hasher_.Update(bytes, fill);
    bytes += fill;
    count -= fill;
  }
  // Each thread's share as a power of two of chunks; at a position whose chunk
  // index has fewer factors of two, the runs there are smaller.
  const uint64_t threads = uint64_t{crew_->helpers()} + 1;
  uint64_t share = 1;
  while (share * 2 * kBlake3ChunkLength * threads <= count) share *= 2;
  uint64_t chunk = hasher_.position() / kBlake3ChunkLength;
  size_t at = 0;
  uint32_t pieces = 0;
  // A run needs more bytes after it (digest/blake3.h), so the span's last bytes,
  // at least one, go to the hasher.
  while (pieces < kMostPieces && count - at > kBlake3ChunkLength) {
    uint64_t run = share;
    while (chunk % run != 0 || run * kBlake3ChunkLength >= count - at) run /= 2;
    pieces_[pieces++] = Piece{at, run, chunk, {}};
    at += static_cast<size_t>(run * kBlake3ChunkLength);
    chunk += run;
  }
  span_ = bytes;
  crew_->Run(pieces, &Blake3SharedHasher::HashPiece, this);
  // The plan meets AppendSubtree's preconditions; should a join still be refused,
  // that piece and the ones after it go through the hasher, so the hash stays right.
  bool joined = true;
  for (uint32_t i = 0; i < pieces; ++i) {
    joined = joined && hasher_.AppendSubtree(pieces_[i].cv, pieces_[i].chunks);
    if (!joined) hasher_.Update(bytes + pieces_[i].offset, static_cast<size_t>(pieces_[i].chunks * kBlake3ChunkLength));
  }
  hasher_.Update(bytes + at, count - at);
}

void Blake3SharedHasher::Finalize(uint8_t out[kBlake3OutLength]) const {
  // Every span ends with bytes given to the hasher, never with a subtree.
  hasher_.Finalize(out, kBlake3OutLength);
}

}  // namespace telvarn
