// The buffering of the standard streams, shared by both systems; the writes themselves
// are each system's.
#include "cli_system.h"

namespace telvarn::cli {

OutputStream::~OutputStream() { Flush(); }

void OutputStream::Write(const char* bytes, size_t count) {
  if (buffer_binary_ && !buffer_.empty()) Flush();
  buffer_binary_ = false;
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  if (interactive_ || buffer_.size() >= (1u << 16)) Flush();
}

void OutputStream::WriteBinary(const char* bytes, size_t count) {
  if (!buffer_binary_ && !buffer_.empty()) Flush();
  buffer_binary_ = true;
  if (count >= (1u << 16)) {
    // Large blocks go out directly rather than through a copy.
    Flush();
    WriteOut(bytes, count, true);
    return;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  if (buffer_.size() >= (1u << 16)) Flush();
}

bool OutputStream::Flush() {
  if (!buffer_.empty()) {
    WriteOut(buffer_.data(), buffer_.size(), buffer_binary_);
    buffer_.clear();
  }
  return !failed_;
}

}  // namespace telvarn::cli
