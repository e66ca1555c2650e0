// The system services' parts that are the same on both systems: reading to a count,
// the buffering of the standard streams (the reads and writes themselves are each
// system's), and the rule by which a walk takes a Windows folder entry.
#include "cli/system.h"

namespace telvarn::cli {

int64_t InputFile::ReadFull(void* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
    const int64_t got = Read(static_cast<char*>(buffer) + total, count - total);
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(total);
}

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

EntryKind WindowsEntryKind(uint32_t attributes, uint32_t reparse_tag, const std::function<bool()>& target_is_file) {
  if ((attributes & kWindowsAttributeDevice) != 0) return EntryKind::kSkipped;
  const bool folder = (attributes & kWindowsAttributeDirectory) != 0;
  // Windows lists every reparse point with its tag; Wine lists its links with none
  // (0, a reserved tag), and those are taken as the links they are.
  const bool link = (attributes & kWindowsAttributeReparsePoint) != 0 &&
                    (reparse_tag == 0 || (reparse_tag & kWindowsReparseTagNameSurrogate) != 0);
  if (!link) return folder ? EntryKind::kFolder : EntryKind::kFile;
  // A link to a folder is never entered; a link to a file is its target, if there.
  if (folder) return EntryKind::kSkipped;
  return target_is_file() ? EntryKind::kFile : EntryKind::kSkipped;
}

bool OutputStream::Flush() {
  if (!buffer_.empty()) {
    WriteOut(buffer_.data(), buffer_.size(), buffer_binary_);
    buffer_.clear();
  }
  return !failed_;
}

}  // namespace telvarn::cli
