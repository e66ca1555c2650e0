// ByteBuffer: block growth, the append forms and re-measuring the text.
#include "codec/byte_buffer.h"

#include <climits>
#include <cstring>
#include <new>

namespace telvarn {
namespace {

// Doubles `capacity` until it exceeds `target`. Counting in 64 bits keeps a huge
// request from wrapping around; the doubling stops once past the limit, which
// replace_block then refuses.
int64_t CapacityPast(int64_t capacity, int64_t target) {
  int64_t grown = capacity * 2;
  while (grown <= target && grown <= ByteBuffer::kMaxCapacity) grown *= 2;
  return grown < ByteBuffer::kMinCapacity ? ByteBuffer::kMinCapacity : grown;
}

}  // namespace

ByteBuffer::ByteBuffer() : data_(new (std::nothrow) uint8_t[kInitialCapacity]()) {
  if (data_ == nullptr) {
    data_ = &spare_;
    capacity_ = 1;
    return;
  }
  capacity_ = kInitialCapacity;
}

ByteBuffer::~ByteBuffer() { release(data_); }

void ByteBuffer::release(uint8_t* block) {
  if (block != &spare_) delete[] block;
}

// The bytes past the carried-over part are zeroed so that text_size() never scans
// indeterminate bytes. With `retired` the old block is handed to the caller instead
// of freed, because the bytes it is about to append may lie in that block.
bool ByteBuffer::replace_block(int64_t new_capacity, bool keep_content, uint8_t** retired) {
  if (new_capacity > kMaxCapacity) return false;
  auto* block = new (std::nothrow) uint8_t[static_cast<size_t>(new_capacity)];
  if (block == nullptr) return false;
  const int32_t kept = keep_content ? capacity_ : 0;
  std::memcpy(block, data_, static_cast<size_t>(kept));
  std::memset(block + kept, 0, static_cast<size_t>(new_capacity - kept));
  if (retired != nullptr) {
    *retired = data_;
  } else {
    release(data_);
  }
  data_ = block;
  capacity_ = static_cast<int32_t>(new_capacity);
  return true;
}

bool ByteBuffer::grow_past(int64_t target, uint8_t** retired) {
  if (replace_block(CapacityPast(capacity_, target), true, retired)) return true;
  failed_ = true;
  return false;
}

// memmove, since the source may overlap the destination when it lies in the buffer.
void ByteBuffer::write_at(int32_t offset, const uint8_t* source, int32_t count) {
  if (count > 0) std::memmove(data_ + offset, source, static_cast<size_t>(count));
}

void ByteBuffer::reset(int32_t size_hint) {
  if (size_hint > capacity_ &&
      !replace_block(CapacityPast(capacity_, size_hint), false, nullptr)) {
    failed_ = true;
    return;
  }
  data_[0] = 0;
  length_ = 0;
  text_length_ = 0;
}

const uint8_t* ByteBuffer::pointer(bool at_end) const {
  return at_end ? data_ + length_ : data_;
}

void ByteBuffer::append_byte(uint8_t byte) {
  if (length_ + 1 >= capacity_ && !grow_past(capacity_, nullptr)) return;
  data_[length_] = byte;
  data_[length_ + 1] = 0;
  ++length_;
  // Growing ahead keeps room for the next byte and its NUL. This byte does not
  // need it, so a failure is not recorded: the next append meets it again.
  if (length_ >= capacity_ - 1) {
    replace_block(CapacityPast(capacity_, capacity_), true, nullptr);
  }
}

// The same as appending the text's bytes; a text too long to count in 32 bits is
// refused by the growth like any other beyond the limit.
void ByteBuffer::append_text(const char* text) {
  const size_t count = std::strlen(text);
  append_bytes(reinterpret_cast<const uint8_t*>(text),
               count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count), false);
}

void ByteBuffer::append_bytes(const uint8_t* source, int32_t count, bool at_text_length) {
  if (count < 0) count = 0;
  uint8_t* retired = nullptr;
  if (at_text_length) {
    const int64_t end = static_cast<int64_t>(text_length_) + count;
    if (end + 1 >= capacity_ && !grow_past(end + 2, &retired)) return;
    write_at(text_length_, source, count);
    data_[end + 1] = 0;
    length_ = static_cast<int32_t>(end + 1);
    text_length_ = static_cast<int32_t>(end);
  } else {
    const int64_t end = static_cast<int64_t>(length_) + count;
    if (end >= capacity_ && !grow_past(end, &retired)) return;
    write_at(length_, source, count);
    data_[end] = 0;
    length_ = static_cast<int32_t>(end);
    text_length_ = length_;
  }
  release(retired);
}

void ByteBuffer::advance() { ++length_; }

void ByteBuffer::retreat() { --length_; }

void ByteBuffer::assign_from(const ByteBuffer& other) {
  reset(-1);
  append_text(reinterpret_cast<const char*>(other.pointer(false)));
}

void ByteBuffer::assign_text(const char* text) {
  reset(-1);
  append_text(text);
}

void ByteBuffer::append_char(char c) { append_byte(static_cast<uint8_t>(c)); }

void ByteBuffer::append(const char* text) { append_text(text); }

const char* ByteBuffer::c_str() const { return reinterpret_cast<const char*>(pointer(false)); }

const uint8_t* ByteBuffer::bytes() const { return pointer(false); }

int32_t ByteBuffer::byte_at(int32_t index) const { return data_[index]; }

int32_t ByteBuffer::text_size() {
  if (data_[length_] == 0) {
    text_length_ = length_;
  } else {
    // The scan is bounded by the block; a block without a NUL counts as all text.
    const void* nul = std::memchr(data_, 0, static_cast<size_t>(capacity_));
    text_length_ = nul == nullptr
                       ? capacity_
                       : static_cast<int32_t>(static_cast<const uint8_t*>(nul) - data_);
  }
  return text_length_;
}

void ByteBuffer::append_line_break() {
  if (capacity_ <= length_ + 3 && !grow_past(capacity_, nullptr)) return;
  data_[length_] = 13;
  data_[length_ + 1] = 10;
  data_[length_ + 2] = 0;
  length_ += 2;
}

}  // namespace telvarn
