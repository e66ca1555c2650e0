// Binding an IO's input and output to files or memory, setting its plain key, resetting it.
#pragma once

#include <cstdint>

#include "slot_table/slot_table.h"
#include "slot_table/var_desc.h"
#include "telvarn.h"

namespace telvarn {

enum class Direction { kInput, kOutput };

// Binds one direction of the IO: a file named by var.data (mode 1; the input opened
// "rbS", the output "wbS", which empties it at once) or the memory at var.data with
// `length` bytes (0: up to its first NUL; stored as given, negative included).
// A stream still open from an earlier file binding is closed first, in both modes.
// Returns 0, or -1 when the file cannot be opened; an earlier file binding is then
// left unbound and an earlier memory binding stays in force. A binding made ends
// IO_Progress's report of the IO's last finished job.
int32_t BindStream(IoSlot& slot, Direction direction, const VarDesc& var, int32_t mode,
                   int32_t length);

// Copies the key into key_area at position 0 followed by a NUL. `length` 0 measures
// up to the first NUL; keys longer than 4095 bytes are cut at 4095, so nothing is
// written outside key_area; a negative length stores an empty key.
void SetKey(uint8_t (&key_area)[kKeyAreaSize], const uint8_t* key, int32_t length);
inline void SetKey(IoSlot& slot, const uint8_t* key, int32_t length) {
  SetKey(slot.key_area, key, length);
}

// Puts the IO back to idle with nothing bound, closing any stream still open; a
// job launched, running or suspended on it is cancelled, not waited for, and its
// last job's progress is forgotten. The key stays. Called with the IO's
// exports_lock held.
void ResetSlot(IoSlot& slot);

}  // namespace telvarn
