// The worker routines of the job exports, one per algorithm, and the jobs the exports launch.
#pragma once

#include <cstdint>

#include "engine/job_launcher.h"
#include "platform/platform.h"

namespace telvarn {

// CRC-32 of the input as 8 upper-case hexadecimal digits.
uint32_t TELVARN_STDCALL CRC32_Worker(void* slot);
// CRC-16/MCRF4XX of the input as 4 upper-case hexadecimal digits.
uint32_t TELVARN_STDCALL CRC16_Worker(void* slot);
// SHA-1, SHA-256 and SHA-512 as 40, 64 and 128 upper-case hexadecimal digits.
uint32_t TELVARN_STDCALL SHA1_Worker(void* slot);
uint32_t TELVARN_STDCALL SHA256_Worker(void* slot);
uint32_t TELVARN_STDCALL SHA512_Worker(void* slot);
// MD5 as 32 lower-case hexadecimal digits.
uint32_t TELVARN_STDCALL MD5_Worker(void* slot);
// HMAC-MD5 under the key at the start of the IO's key area, 32 lower-case digits.
uint32_t TELVARN_STDCALL MD5Key_Worker(void* slot);

// Each worker routine with its run on the calling thread, as the exports launch them.
extern const JobRoutines kCrc32Job, kCrc16Job, kSha1Job, kSha256Job, kSha512Job, kMd5Job, kMd5KeyJob;

}  // namespace telvarn
