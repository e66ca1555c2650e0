// The worker routines of the job exports, one per algorithm.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace telvarn {

// CRC-32 of the input as 8 upper-case hexadecimal digits.
uint32_t TELVARN_STDCALL CRC32_Worker(void* slot);
// CRC-16/MCRF4XX of the input as 4 upper-case hexadecimal digits.
uint32_t TELVARN_STDCALL CRC16_Worker(void* slot);

}  // namespace telvarn
