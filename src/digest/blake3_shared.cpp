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
// The budget's size once asked. Not a function's static: its guarded start would
// bring in the thread library the module does without (platform/win32).
std::atomic<uint32_t> g_budget_size{Blake3SharedHasher::kHelpersForThisProcess};

// Whatever is left of the budget; 0 when it is spent.
uint32_t TakeFromBudget() {
  uint32_t size = g_budget_size.load(std::memory_order_relaxed);
  if (size == Blake3SharedHasher::kHelpersForThisProcess) {
    // Two first askers get the same answer and store it both.
    size = Blake3SharedHasher::HelpersForThisProcess();
    g_budget_size.store(size, std::memory_order_relaxed);
  }
  uint32_t taken = g_budget_taken.load(std::memory_order_relaxed);
  for (;;) {
    if (taken >= size) return 0;
    if (g_budget_taken.compare_exchange_weak(taken, size, std::memory_order_relaxed)) return size - taken;
  }
}

}  // namespace

Blake3SharedHasher::Blake3SharedHasher(const uint8_t* key, uint32_t helpers, size_t shared_bytes)
    : hasher_(key, Active<kBlake3Kernels>()),
      keyed_(key != nullptr),
      helpers_asked_(helpers),
      shared_bytes_(shared_bytes > kBlake3ChunkLength ? shared_bytes : 2 * kBlake3ChunkLength) {
  if (keyed_) std::memcpy(key_, key, kBlake3KeyLength);
}

Blake3SharedHasher::~Blake3SharedHasher() {
  // The helpers end first; only then are they free for another job.
  crew_.reset();
  ReturnToBudget();
}

void Blake3SharedHasher::ReturnToBudget() {
  if (budget_taken_ > 0) g_budget_taken.fetch_sub(budget_taken_, std::memory_order_relaxed);
  budget_taken_ = 0;
}

bool Blake3SharedHasher::MakeCrew() {
  uint32_t helpers = helpers_asked_;
  if (helpers == kHelpersForThisProcess) helpers = budget_taken_ = TakeFromBudget();
  if (helpers == 0) return false;
  crew_.reset(new (std::nothrow) HelperCrew(helpers));
  if (!crew_) ReturnToBudget();
  return crew_ != nullptr;
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
  if (count < shared_bytes_ || (!crew_ && !MakeCrew())) {
    hasher_.Update(bytes, count);
    return;
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
