// FileBlocks: a regular file read in large blocks straight from the file, a block ahead on a thread of its own when large.
//
// Contracts:
// - Blocks come in file order from the stream's position when the reader is made;
//   each stays valid until the next call to next(). The stream's own buffer and
//   position are bypassed: the job owns the stream and only closes it afterwards.
// - A file of kReadAheadBytes or more is read one block ahead on a reader thread,
//   so that reading overlaps hashing (under Wine, copying a cached file costs about
//   as much as a CRC of it). The reader holds no lock and no runtime stream while
//   it waits for a free block, so a job suspended at a chunk boundary holds
//   nothing; destruction stops the reader and waits for it (a read under way
//   finishes first). A smaller file, or one whose reader cannot be made, is read on
//   the caller's thread.
// - failed(): a read returned an error before the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/aligned_buffer.h"
#include "platform/platform.h"

namespace telvarn {

class FileBlocks {
 public:
  // A multiple of every chunk size.
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  static constexpr int64_t kReadAheadBytes = int64_t{32} << 20;

  // `size` is the file's length as measured at binding (it decides read-ahead only).
  FileBlocks(std::FILE* file, int64_t size);
  ~FileBlocks();
  FileBlocks(const FileBlocks&) = delete;
  FileBlocks& operator=(const FileBlocks&) = delete;

  // False when no block could be allocated: the caller reads otherwise.
  bool usable() const { return blocks_[0].data() != nullptr; }
  // The next block: *bytes points at the returned count of bytes; 0 at the end.
  size_t next(const uint8_t** bytes);
  bool failed() const { return failed_; }

 private:
  struct Slot {
    size_t filled = 0;
    bool ready = false;
    bool last = false;   // the end of the file or an error follows this block
    bool error = false;
  };

  static uint32_t TELVARN_CALL ReaderThread(void* self);
  void ReadAhead();
  // Fills one block from the file; short at the end or on an error.
  size_t Fill(uint8_t* block, bool& error);

  std::FILE* const file_;
  platform::AlignedBuffer blocks_[2];
  bool failed_ = false;
  bool ended_ = false;

  // Read-ahead: the reader fills slots_ in turn, the job consumes them in turn.
  platform::ThreadHandle reader_ = nullptr;
  platform::Os::Mutex lock_;
  platform::Os::ConditionVariable changed_;
  Slot slots_[2];
  bool stop_ = false;
  int consumed_ = -1;  // the slot the job holds, handed back at the next call
  int next_slot_ = 0;
};

}  // namespace telvarn
