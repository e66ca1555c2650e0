// The jobs that the job exports launch, one per algorithm.
#pragma once

#include "engine/job.h"

namespace telvarn {

// CRC-32 and CRC-16/MCRF4XX as 8 and 4 upper-case hexadecimal digits; SHA-1,
// SHA-256 and SHA-512 as 40, 64 and 128 upper-case digits; MD5 as 32 lower-case
// digits. The keyed jobs, HMAC under the key at the start of the IO's key area,
// in their digest's text: HMAC-MD5 as 32 lower-case digits, HMAC-SHA-1,
// HMAC-SHA-256 and HMAC-SHA-512 as 40, 64 and 128 upper-case digits.
extern const JobKind kCrc32Job, kCrc16Job, kSha1Job, kSha256Job, kSha512Job, kMd5Job;
extern const JobKind kMd5KeyJob, kSha1KeyJob, kSha256KeyJob, kSha512KeyJob;

}  // namespace telvarn
