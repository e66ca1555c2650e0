// The slot table: parallel arrays of IoSlot pointers and IO numbers, doubling on growth.
#include "slot_table/slot_table.h"

#include <new>

namespace telvarn {

void CloseStream(StreamBinding& binding) {
  if (binding.file != nullptr) {
    std::fclose(binding.file);
    binding.file = nullptr;
  }
}

SlotTable::SlotTable() {
  slots_ = new (std::nothrow) IoSlot*[kInitialCapacity]();
  io_ids_ = new (std::nothrow) int32_t[kInitialCapacity];
  if (slots_ == nullptr || io_ids_ == nullptr) {
    delete[] slots_;
    delete[] io_ids_;
    slots_ = nullptr;
    io_ids_ = nullptr;
    return;
  }
  for (int32_t i = 0; i < kInitialCapacity; ++i) io_ids_[i] = -1;
  capacity_ = kInitialCapacity;
}

SlotTable::~SlotTable() {
  for (int32_t i = 0; i < count_ && slots_[i] != nullptr; ++i) {
    IoSlot* slot = slots_[i];
    if (slot->has_live_job()) continue;
    CloseStream(slot->output);
    CloseStream(slot->input);
    delete slot;
  }
  delete[] slots_;
  delete[] io_ids_;
}

IoSlot* SlotTable::find(int32_t io) const {
  platform::ScopedLock<platform::Os::Mutex> hold(lock_);
  return find_locked(io);
}

IoSlot* SlotTable::find_locked(int32_t io) const {
  for (int32_t i = 0; i < count_; ++i) {
    if (io_ids_[i] == io) return slots_[i];
  }
  return nullptr;
}

bool SlotTable::grow() {
  if (capacity_ == 0 || capacity_ > INT32_MAX / 2) return false;
  int32_t new_capacity = capacity_ * 2;
  auto* new_slots = new (std::nothrow) IoSlot*[new_capacity]();
  auto* new_ids = new (std::nothrow) int32_t[new_capacity];
  if (new_slots == nullptr || new_ids == nullptr) {
    delete[] new_slots;
    delete[] new_ids;
    return false;
  }
  for (int32_t i = 0; i < capacity_; ++i) {
    new_slots[i] = slots_[i];
    new_ids[i] = io_ids_[i];
  }
  for (int32_t i = capacity_; i < new_capacity; ++i) new_ids[i] = -1;
  delete[] slots_;
  delete[] io_ids_;
  slots_ = new_slots;
  io_ids_ = new_ids;
  capacity_ = new_capacity;
  return true;
}

IoSlot* SlotTable::find_or_register(int32_t io) {
  platform::ScopedLock<platform::Os::Mutex> hold(lock_);
  if (IoSlot* slot = find_locked(io)) return slot;
  if (count_ >= capacity_ && !grow()) return nullptr;
  auto* slot = new (std::nothrow) IoSlot();
  if (slot == nullptr) return nullptr;
  slots_[count_] = slot;
  io_ids_[count_] = io;
  ++count_;
  return slot;
}

}  // namespace telvarn
