// The read-ahead thread: a ring of blocks filled by one reader and emptied by one consumer.
#include "digest/file_read_ahead.h"

#include <new>

namespace telvarn {

using platform::Os;
using Lock = platform::ScopedLock<Os::CriticalSection>;

FileReadAhead::~FileReadAhead() {
  if (reader_ == nullptr) return;
  {
    Lock lock(lock_);
    stop_ = true;
  }
  block_freed_.set();
  Os::wait_thread(reader_, platform::kInfinite);
  Os::close_thread(reader_);
}

bool FileReadAhead::Start(std::FILE* file) {
  memory_.reset(new (std::nothrow) uint8_t[kBlocks * kBlockBytes]);
  if (memory_ == nullptr) return false;
  file_ = file;
  reader_ = Os::create_thread(&ReaderMain, this, /*start_suspended=*/false, nullptr);
  if (reader_ == nullptr) memory_.reset();
  return reader_ != nullptr;
}

// A wait whose event could not be made fails at once: fall back to polling.
void FileReadAhead::WaitFor(Os::Event& event) {
  if (!event.wait(platform::kInfinite)) Os::sleep_ms(1);
}

uint32_t TELVARN_STDCALL FileReadAhead::ReaderMain(void* self) {
  static_cast<FileReadAhead*>(self)->ReadBlocks();
  return 0;
}

void FileReadAhead::ReadBlocks() {
  for (;;) {
    size_t tail;
    {
      Lock lock(lock_);
      while (filled_ == kBlocks && !stop_) {
        lock_.unlock();
        WaitFor(block_freed_);
        lock_.lock();
      }
      if (stop_) break;
      tail = (head_ + filled_) % kBlocks;
    }
    // The block at tail is free: the consumer never looks past the filled ones.
    const size_t count = std::fread(memory_.get() + tail * kBlockBytes, 1, kBlockBytes, file_);
    const bool short_read = count < kBlockBytes;
    {
      Lock lock(lock_);
      counts_[tail] = count;
      ++filled_;
      reader_done_ = short_read;
    }
    block_filled_.set();
    if (short_read) return;
  }
  Lock lock(lock_);
  reader_done_ = true;
}

size_t FileReadAhead::take_block(const uint8_t** bytes) {
  Lock lock(lock_);
  if (holding_block_) {
    head_ = (head_ + 1) % kBlocks;
    --filled_;
    holding_block_ = false;
    block_freed_.set();
  }
  while (filled_ == 0 && !reader_done_) {
    lock_.unlock();
    WaitFor(block_filled_);
    lock_.lock();
  }
  if (filled_ == 0) return 0;
  holding_block_ = true;
  *bytes = memory_.get() + head_ * kBlockBytes;
  return counts_[head_];
}

}  // namespace telvarn
