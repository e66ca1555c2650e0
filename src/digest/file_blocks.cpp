// Block reading of regular files: on the job's thread, or a block ahead on a reader thread.
#include "digest/file_blocks.h"

#include <new>

namespace telvarn {

using platform::Os;
using Hold = platform::ScopedLock<Os::Mutex>;

namespace {

int64_t StreamPosition(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

}  // namespace

FileBlocks::FileBlocks(std::FILE* file, int64_t size) : file_(file) {
  // Reads past the stream's buffer go on from where the stream stands.
  const int64_t position = StreamPosition(file);
  if (position < 0 || !Os::position_file(file, static_cast<uint64_t>(position))) return;
  if (!blocks_[0].Allocate(kBlockBytes) || size < kReadAheadBytes) return;
  if (!blocks_[1].Allocate(kBlockBytes)) return;
  reader_ = Os::create_thread(&ReaderThread, this, nullptr);
}

FileBlocks::~FileBlocks() {
  if (reader_ == nullptr) return;
  {
    Hold hold(lock_);
    stop_ = true;
    changed_.notify_all();
  }
  Os::wait_thread(reader_, platform::kInfinite);
  Os::close_thread(reader_);
}

size_t FileBlocks::Fill(uint8_t* block, bool& error) {
  size_t filled = 0;
  while (filled < kBlockBytes) {
    const int64_t n = Os::read_file(file_, block + filled, static_cast<uint32_t>(kBlockBytes - filled));
    if (n <= 0) {
      error = n < 0;
      break;
    }
    filled += static_cast<size_t>(n);
  }
  return filled;
}

uint32_t TELVARN_CALL FileBlocks::ReaderThread(void* self) {
  static_cast<FileBlocks*>(self)->ReadAhead();
  return 0;
}

void FileBlocks::ReadAhead() {
  for (int slot = 0;; slot ^= 1) {
    {
      Hold hold(lock_);
      platform::WaitUntil(changed_, lock_, platform::kInfinite,
                          [&] { return stop_ || !slots_[slot].ready; });
      if (stop_) return;
    }
    bool error = false;
    const size_t filled = Fill(blocks_[slot].data(), error);
    Hold hold(lock_);
    slots_[slot].filled = filled;
    slots_[slot].error = error;
    slots_[slot].last = error || filled < kBlockBytes;
    slots_[slot].ready = true;
    changed_.notify_all();
    if (slots_[slot].last) return;
  }
}

size_t FileBlocks::next(const uint8_t** bytes) {
  if (ended_) return 0;
  if (reader_ == nullptr) {
    bool error = false;
    const size_t filled = Fill(blocks_[0].data(), error);
    failed_ = error;
    ended_ = error || filled < kBlockBytes;
    *bytes = blocks_[0].data();
    return filled;
  }
  Hold hold(lock_);
  if (consumed_ >= 0) {
    slots_[consumed_].ready = false;
    changed_.notify_all();
  }
  Slot& slot = slots_[next_slot_];
  platform::WaitUntil(changed_, lock_, platform::kInfinite, [&] { return slot.ready; });
  failed_ = slot.error;
  ended_ = slot.last;
  *bytes = blocks_[next_slot_].data();
  consumed_ = next_slot_;
  next_slot_ ^= 1;
  return slot.filled;
}

}  // namespace telvarn
