// ByteBuffer, a growable run of bytes that can be read as a NUL-terminated string at any time.
//
// Contracts:
// - A NUL follows the content after every reset and append, inside the block
//   (length() < capacity()), so pointer(false) is always a valid C string.
// - The first block is 256 bytes. Appends that do not fit grow the block
//   geometrically: by doubling, or by doubling until it exceeds the size the append
//   needs; no replacement block is smaller than 128 bytes. A replacement carries
//   the whole old block over. reset() with a hint larger than the block replaces it
//   without carrying anything over.
// - The block never grows beyond kMaxCapacity (2^30) bytes. An operation that would
//   need more, or whose allocation fails, changes nothing (the content stays as it
//   was, NUL-terminated) and sets failed(). The flag is sticky for the object's
//   lifetime, so a caller checks it once after building its text.
// - If even the first block cannot be allocated, the buffer starts on a one-byte
//   block inside the object itself (capacity 1, holding the NUL): data is never
//   null, and the first append grows from there by the usual rules.
// - text_length() is what the last reset, append_text, append_bytes or text_size
//   recorded; append_byte, append_line_break, advance and retreat leave it stale on
//   purpose, and text_size() re-measures.
// - advance(), retreat() and byte_at() check nothing: callers keep the length
//   between 0 and capacity() - 1 and read only indexes below capacity().
// - An object belongs to one call on one thread; nothing in it is synchronised.
#pragma once

#include <cstdint>

namespace telvarn {

class ByteBuffer {
 public:
  static constexpr int32_t kInitialCapacity = 256;
  static constexpr int32_t kMinCapacity = 128;
  static constexpr int32_t kMaxCapacity = 0x40000000;

  ByteBuffer();
  virtual ~ByteBuffer();
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // Empties the buffer. Only a hint larger than the block replaces it, so -1 or 0
  // empties without reallocating.
  virtual void reset(int32_t size_hint);
  // The end of the content when `at_end`, else its start.
  virtual const uint8_t* pointer(bool at_end) const;
  virtual void append_byte(uint8_t byte);
  virtual void append_text(const char* text);
  // Appends `count` bytes (a negative count is 0) at the end of the content or, with
  // `at_text_length`, over whatever follows the recorded text length. In the second
  // form the byte right after the new bytes is left as it was and the NUL comes one
  // byte later; the length ends one past the new bytes. The source may lie in the
  // buffer itself, and it is not read when the append is refused.
  virtual void append_bytes(const uint8_t* source, int32_t count, bool at_text_length);
  virtual void advance();
  virtual void retreat();
  // Replaces the content with the other buffer's text, up to its first NUL. A buffer
  // assigned from itself ends up empty, since it is emptied first.
  virtual void assign_from(const ByteBuffer& other);
  virtual void assign_text(const char* text);
  virtual void append_char(char c);
  virtual void append(const char* text);
  virtual const char* c_str() const;
  virtual const uint8_t* bytes() const;
  // The byte at `index` as 0 to 255.
  virtual int32_t byte_at(int32_t index) const;

  // The content's length when a NUL ends it, else the length of the text before the
  // first NUL in the block; records it as text_length().
  int32_t text_size();
  // Appends CR LF and a NUL, doubling the block first when they would not fit with
  // a byte to spare.
  void append_line_break();

  int32_t length() const { return length_; }
  int32_t capacity() const { return capacity_; }
  int32_t text_length() const { return text_length_; }
  bool failed() const { return failed_; }

 private:
  bool grow_past(int64_t target, uint8_t** retired);
  bool replace_block(int64_t new_capacity, bool keep_content, uint8_t** retired);
  void release(uint8_t* block);
  void write_at(int32_t offset, const uint8_t* source, int32_t count);

  uint8_t* data_;
  int32_t length_ = 0;
  int32_t capacity_ = 0;
  int32_t text_length_ = 0;
  bool failed_ = false;
  // The block while the first allocation has failed.
  uint8_t spare_ = 0;
};

}  // namespace telvarn
