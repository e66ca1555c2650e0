// The jobs that the job exports and the Digest export launch, one per algorithm and form.
#pragma once

#include "engine/job.h"

namespace telvarn {

// CRC-32 and CRC-16/MCRF4XX as 8 and 4 upper-case hexadecimal digits; SHA-1,
// SHA-256 and SHA-512 as 40, 64 and 128 upper-case digits, SHA-224, SHA-384,
// SHA-512/224 and SHA-512/256 as 56, 96, 56 and 64; MD5 as 32 lower-case
// digits. The keyed jobs, HMAC under the key at the start of the IO's key area,
// in their digest's text: HMAC-MD5 as 32 lower-case digits, the HMACs of the SHA
// family in upper case.
extern const JobKind kCrc32Job, kCrc16Job, kSha1Job, kSha256Job, kSha512Job, kMd5Job;
extern const JobKind kSha224Job, kSha384Job, kSha512_224Job, kSha512_256Job;
extern const JobKind kMd5KeyJob, kSha1KeyJob, kSha256KeyJob, kSha512KeyJob;
extern const JobKind kSha224KeyJob, kSha384KeyJob, kSha512_224KeyJob, kSha512_256KeyJob;
// SHA3-224, SHA3-256, SHA3-384 and SHA3-512 as 56, 64, 96 and 128 upper-case digits,
// and their HMACs (the sponge's rate as the block) in the same text.
extern const JobKind kSha3_224Job, kSha3_256Job, kSha3_384Job, kSha3_512Job;
extern const JobKind kSha3_224KeyJob, kSha3_256KeyJob, kSha3_384KeyJob, kSha3_512KeyJob;
// CRC-32C (Castagnoli) and CRC-64/XZ as 8 and 16 upper-case digits.
extern const JobKind kCrc32cJob, kCrc64Job;
// XXH3-64 and XXH3-128 of xxHash (seed 0) as 16 and 32 upper-case digits, the
// 128-bit value high half first; no keyed form.
extern const JobKind kXxh3_64Job, kXxh3_128Job;
// BLAKE2b-512 and BLAKE2s-256 as 128 and 64 lower-case digits, and their own keyed
// mode (not HMAC) under the key text at the start of the IO's key area, which the
// launch has held to BLAKE2's 64 or 32 bytes.
extern const JobKind kBlake2bJob, kBlake2sJob, kBlake2bKeyJob, kBlake2sKeyJob;
// BLAKE3's hash (32 bytes) as 64 lower-case digits, and its keyed hash under the
// key text, which the launch has held to 32 bytes or the 64 hexadecimal digits
// of 32 bytes.
extern const JobKind kBlake3Job, kBlake3KeyJob;

}  // namespace telvarn
