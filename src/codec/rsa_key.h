// RSA key import: a key text's Base64 sections stored as upper-case hexadecimal in key_area.
//
// Contracts (the export looks the IO up and returns -1 for an absent one; this is
// the rest, for a found IO):
// - The first section is present when the byte at key_text.data is '&'; its body
//   runs from the next byte to the first zero byte. The second is present when the
//   byte at data + 4 * stride_words is '#', its body likewise. Each marker is looked
//   for on its own; stride_words 0 puts the second marker's place at the start.
// - A section's body loses its trailing CR and LF in place (NULs are written into
//   the script's variable), is decoded by DecodeBase64Text (CR and LF inside it
//   skipped, '=' and other characters outside the alphabet counting 255), and each
//   decoded byte goes into key_area as two upper-case hexadecimal digits, followed
//   by one NUL: the first section's text from position 0, the second's from 1024.
//   Nothing else of key_area changes, and nothing outside it.
// - The first section is handled completely, its trimming included, before the
//   second section's body is touched, so a second body laid inside the first is
//   read as the first left it.
// - Result: minus (1 if the first section is stored + 2 if the second is).
// - A section that decodes to no bytes (an empty body, or one of CR and LF only)
//   writes nothing to key_area and still counts.
// - Rooms, a deliberate rule: a section's hexadecimal text and its NUL must lie
//   inside its own room: positions 0 to 1023 for the first section when a second
//   section is present, 0 to 4095 when not; 1024 to 4095 for the second section.
//   That allows 511, 2047 and 1535 decoded bytes. A section that does not fit (or
//   whose decoding cannot get memory) is not stored and does not count in the
//   result; it empties its room (a NUL at position 0 or 1024, nothing else of
//   key_area changes), so that a keyed job uses the empty key, never an earlier
//   import's. Its trimming has been done all the same.
// - Runs on the host's calling thread, under the IO's exports_lock, which the export
//   takes and then refuses an IO whose job is launched, running or suspended; a
//   keyed job reads only the copy of key_area it took at launch.
#pragma once

#include <cstdint>

#include "slot_table/slot_table.h"
#include "slot_table/var_desc.h"

namespace telvarn {

// Imports into any key area of the IO record's size and shape.
int32_t ImportRsaKey(uint8_t (&key_area)[kKeyAreaSize], const VarDesc& key_text);

inline int32_t ImportRsaKey(IoSlot& slot, const VarDesc& key_text) {
  return ImportRsaKey(slot.key_area, key_text);
}

}  // namespace telvarn
