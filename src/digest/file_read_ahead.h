// Reads a regular file ahead on a thread of its own, so that reading and digesting overlap.
//
// Contracts:
// - One consumer (the job's worker) takes the file's bytes block by block, in
//   order, with take_block; the block it took stays valid until its next call.
// - The reader thread is the only user of the FILE while the read-ahead runs: it
//   reads until a short read (end of file or error) or until told to stop, and
//   holds at most kBlocks blocks that the consumer has not finished.
// - The destructor stops the reader and waits for its thread to end, so nothing
//   of the read-ahead outlives the job, and the module (pinned by the worker)
//   stays mapped while the reader runs. The worker may be suspended meanwhile:
//   the reader then fills the free blocks and waits, holding no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/platform.h"

namespace telvarn {

class FileReadAhead {
 public:
  // Multiples of every chunk size, so chunks never straddle two blocks. Four
  // blocks of 256 KiB stay in a core's second-level cache between the reader's
  // copy and the digest's read.
  static constexpr size_t kBlockBytes = size_t{256} << 10;
  static constexpr size_t kBlocks = 4;

  FileReadAhead() = default;
  ~FileReadAhead();
  FileReadAhead(const FileReadAhead&) = delete;
  FileReadAhead& operator=(const FileReadAhead&) = delete;

  // Starts the reader on `file`; false when its memory or thread cannot be had,
  // and then nothing was read.
  bool Start(std::FILE* file);
  // The next block: *bytes points at its count bytes; 0 once the file is read.
  size_t take_block(const uint8_t** bytes);

 private:
  static uint32_t TELVARN_STDCALL ReaderMain(void* self);
  void ReadBlocks();
  void WaitFor(platform::Os::Event& event);

  std::FILE* file_ = nullptr;
  std::unique_ptr<uint8_t[]> memory_;
  platform::ThreadHandle reader_ = nullptr;

  // Guarded by lock_: the ring's filled blocks run from head_ for filled_ blocks.
  platform::Os::CriticalSection lock_;
  size_t head_ = 0;
  size_t filled_ = 0;
  size_t counts_[kBlocks] = {};
  bool reader_done_ = false;
  bool stop_ = false;
  platform::Os::Event block_filled_;
  platform::Os::Event block_freed_;

  bool holding_block_ = false;  // the consumer's; it still reads the block at head_
};

}  // namespace telvarn
