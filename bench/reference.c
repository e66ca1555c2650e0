/* The speeds the 32-bit DLL is held to: OpenSSL's, zlib's and xxHash's builds on the same buffers.
 *
 * Built natively by scripts/bench.sh twice (never by the CMake presets, so CI needs
 * no multilib): with gcc -m32 -O2 against libssl-dev:i386 and zlib1g-dev:i386, a
 * 32-bit Linux process running the same i386 instruction set as the DLL under Wine,
 * so the figures compare directly; and for x86-64, the best the libraries do with
 * the 64-bit mode's registers. xxHash's XXH3 is its header compiled in (XXH_INLINE_ALL),
 * so the i386 build needs no i386 library of it. Prints one line per measurement:
 *
 *   BENCH <name> <bytes> <wall_s> <cpu_s> <wall_MB/s> <cpu_MB/s> <check>
 *
 * where the times are the best of the repeats, the byte count is the binary size
 * (for Base64 the bytes encoded or decoded, not the text), and <check> is the
 * digest in hexadecimal (lower case) or "ok" after a Base64 round trip. The
 * buffer is bytes (i * 131 + 7) & 0xFF and the HMAC key "benchmark key", as in
 * bench/dll_bench.cpp, so compare.py can check both programs agree. */
#define _POSIX_C_SOURCE 200809L
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zlib.h>
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <immintrin.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char kHmacKey[] = "benchmark key";

typedef struct {
  double wall;
  double cpu;
} Seconds;

static double Clock(clockid_t id) {
  struct timespec ts;
  clock_gettime(id, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

/* Keeps the fastest wall time and, separately, the least CPU time over the repeats. */
static void KeepBest(Seconds* best, double wall, double cpu) {
  if (best->wall == 0 || wall < best->wall) best->wall = wall;
  if (best->cpu == 0 || cpu < best->cpu) best->cpu = cpu;
}

static void Report(const char* name, size_t bytes, Seconds best, const char* check) {
  /* A zero CPU time can only come from a clock coarser than the run; avoid dividing by it. */
  const double cpu = best.cpu > 0 ? best.cpu : 1e-9;
  printf("BENCH %s %zu %.6f %.6f %.1f %.1f %s\n", name, bytes, best.wall, best.cpu,
         (double)bytes / 1e6 / best.wall, (double)bytes / 1e6 / cpu, check);
  fflush(stdout);
}

static void Hex(const unsigned char* bytes, size_t count, char* text) {
  for (size_t i = 0; i < count; ++i) sprintf(text + 2 * i, "%02x", bytes[i]);
  text[2 * count] = 0;
}

static uint32_t crc32_table[256];
static uint32_t crc32c_table[256];
static uint16_t crc16_table[256];
static uint64_t crc64_table[256];

static void MakeTables(void) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c32 = n;
    uint32_t c32c = n;
    uint32_t c16 = n;
    uint64_t c64 = n;
    for (int k = 0; k < 8; ++k) {
      c32 = (c32 & 1) ? 0xEDB88320u ^ (c32 >> 1) : c32 >> 1;
      c32c = (c32c & 1) ? 0x82F63B78u ^ (c32c >> 1) : c32c >> 1;
      c16 = (c16 & 1) ? 0x8408u ^ (c16 >> 1) : c16 >> 1;
      c64 = (c64 & 1) ? 0xC96C5795D7870F42ull ^ (c64 >> 1) : c64 >> 1;
    }
    crc32_table[n] = c32;
    crc32c_table[n] = c32c;
    crc16_table[n] = (uint16_t)c16;
    crc64_table[n] = c64;
  }
}

/* The floor any CRC should beat: one table lookup per byte. */
static uint64_t TextbookCrc32(const uint8_t* data, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) crc = crc32_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

/* CRC-32C (Castagnoli): reflected 0x1EDC6F41, all ones in and out. */
static uint64_t TextbookCrc32c(const uint8_t* data, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) crc = crc32c_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

/* CRC-64/XZ: reflected ECMA-182, all ones in and out. */
static uint64_t TextbookCrc64(const uint8_t* data, size_t count) {
  uint64_t crc = ~0ull;
  for (size_t i = 0; i < count; ++i) crc = crc64_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

/* CRC-16/MCRF4XX: reflected 0x1021, register starts at 0xFFFF, no final inversion. */
static uint16_t TextbookCrc16(const uint8_t* data, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i)
    crc = (uint16_t)(crc16_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

static void Digest(const char* name, const EVP_MD* md, const uint8_t* data, size_t size, int repeats) {
  Seconds best = {0, 0};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    EVP_DigestInit_ex(ctx, md, NULL);
    EVP_DigestUpdate(ctx, data, size);
    EVP_DigestFinal_ex(ctx, digest, &length);
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  EVP_MD_CTX_free(ctx);
  char text[2 * EVP_MAX_MD_SIZE + 1];
  Hex(digest, length, text);
  Report(name, size, best, text);
}

static void Hmac(const char* name, const EVP_MD* md, const uint8_t* data, size_t size, int repeats) {
  Seconds best = {0, 0};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    HMAC(md, kHmacKey, (int)strlen(kHmacKey), data, size, digest, &length);
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  char text[2 * EVP_MAX_MD_SIZE + 1];
  Hex(digest, length, text);
  Report(name, size, best, text);
}

/* XXH3-64 and XXH3-128 with seed 0 by xxHash's one-shot functions, the 128-bit
 * result high half first as the DLL writes it. */
static void Xxh3(const char* name, int wide, const uint8_t* data, size_t size, int repeats) {
  Seconds best = {0, 0};
  XXH128_hash_t hash = {0, 0};
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    if (wide) {
      hash = XXH3_128bits(data, size);
    } else {
      hash.low64 = XXH3_64bits(data, size);
    }
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  char text[33];
  if (wide) {
    sprintf(text, "%016llx%016llx", (unsigned long long)hash.high64, (unsigned long long)hash.low64);
  } else {
    sprintf(text, "%016llx", (unsigned long long)hash.low64);
  }
  Report(name, size, best, text);
}

typedef uint64_t (*CrcFn)(const uint8_t*, size_t);

static uint64_t ZlibCrc32(const uint8_t* data, size_t count) {
  uLong crc = crc32(0L, Z_NULL, 0);
  /* zlib's length is a uInt; feed it in pieces that fit on any platform. */
  while (count > 0) {
    const uInt piece = count > (1u << 30) ? (1u << 30) : (uInt)count;
    crc = crc32(crc, data, piece);
    data += piece;
    count -= piece;
  }
  return (uint64_t)crc;
}

/* The ceiling of any job over an input in memory: reading it, 32 bytes per load
 * where the processor has AVX2. */
__attribute__((target("avx2"))) static uint32_t ReadAvx2(const uint8_t* data, size_t count) {
  __m256i a = _mm256_setzero_si256(), b = a;
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    a = _mm256_xor_si256(a, _mm256_loadu_si256((const __m256i*)(data + i)));
    b = _mm256_xor_si256(b, _mm256_loadu_si256((const __m256i*)(data + i + 32)));
  }
  uint32_t sum = (uint32_t)_mm256_extract_epi32(_mm256_xor_si256(a, b), 0);
  for (; i < count; ++i) sum ^= data[i];
  return sum;
}

static uint64_t MemoryRead(const uint8_t* data, size_t count) {
  if (__builtin_cpu_supports("avx2")) return ReadAvx2(data, count);
  uint32_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum ^= data[i];
  return sum;
}

static uint64_t TextbookCrc16Wide(const uint8_t* data, size_t count) { return TextbookCrc16(data, count); }

static void Crc(const char* name, CrcFn fn, int digits, const uint8_t* data, size_t size, int repeats) {
  Seconds best = {0, 0};
  uint64_t crc = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    crc = fn(data, size);
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  char text[24];
  sprintf(text, "%0*llx", digits, (unsigned long long)crc);
  Report(name, size, best, text);
}

/* EVP_EncodeBlock (one line) and the streaming EVP_EncodeUpdate (64-column lines,
 * each ending in LF), then the matching decoders on the text each produced. */
static void Base64(const uint8_t* data, size_t size, int repeats) {
  const size_t one_line = 4 * ((size + 2) / 3);
  const size_t with_lines = one_line + one_line / 64 + 2;
  unsigned char* text = malloc(with_lines + 1);
  unsigned char* decoded = malloc(size + 64);
  if (!text || !decoded) {
    fprintf(stderr, "reference: out of memory for Base64 buffers\n");
    exit(2);
  }
  /* Touch the pages now, or the first encode would be charged the kernel's page faults. */
  memset(text, 0, with_lines + 1);
  memset(decoded, 0, size + 64);

  Seconds best = {0, 0};
  int text_length = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    text_length = EVP_EncodeBlock(text, data, (int)size);
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  Report("openssl_b64_encode_block", size, best, (size_t)text_length == one_line ? "ok" : "bad");

  best.wall = best.cpu = 0;
  int decoded_length = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    decoded_length = EVP_DecodeBlock(decoded, text, text_length);
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  /* EVP_DecodeBlock counts the padding as zero bytes; the data are the first `size`. */
  Report("openssl_b64_decode_block", size, best,
         decoded_length >= (int)size && memcmp(decoded, data, size) == 0 ? "ok" : "bad");

  EVP_ENCODE_CTX* ctx = EVP_ENCODE_CTX_new();
  best.wall = best.cpu = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    int produced = 0, tail = 0;
    EVP_EncodeInit(ctx);
    EVP_EncodeUpdate(ctx, text, &produced, data, (int)size);
    EVP_EncodeFinal(ctx, text + produced, &tail);
    text_length = produced + tail;
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  Report("openssl_b64_encode_lines", size, best, (size_t)text_length <= with_lines ? "ok" : "bad");

  best.wall = best.cpu = 0;
  int ok = 0;
  for (int r = 0; r < repeats; ++r) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    int produced = 0, tail = 0;
    EVP_DecodeInit(ctx);
    ok = EVP_DecodeUpdate(ctx, decoded, &produced, text, text_length) >= 0 &&
         EVP_DecodeFinal(ctx, decoded + produced, &tail) > 0;
    decoded_length = produced + tail;
    KeepBest(&best, Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0);
  }
  Report("openssl_b64_decode_lines", size, best,
         ok && decoded_length == (int)size && memcmp(decoded, data, size) == 0 ? "ok" : "bad");

  EVP_ENCODE_CTX_free(ctx);
  free(decoded);
  free(text);
}

static size_t MebibytesArg(const char* text) {
  const long value = strtol(text, NULL, 10);
  if (value < 1 || value > 512) {
    fprintf(stderr, "reference: sizes are 1 to 512 MiB\n");
    exit(2);
  }
  return (size_t)value << 20;
}

int main(int argc, char** argv) {
  size_t digest_size = (size_t)64 << 20;
  size_t base64_size = (size_t)32 << 20;
  int repeats = 2;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--mib") == 0 && i + 1 < argc) {
      digest_size = MebibytesArg(argv[++i]);
    } else if (strcmp(argv[i], "--base64-mib") == 0 && i + 1 < argc) {
      base64_size = MebibytesArg(argv[++i]);
    } else if (strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
      repeats = atoi(argv[++i]);
      if (repeats < 1) repeats = 1;
    } else {
      fprintf(stderr, "usage: %s [--mib N] [--base64-mib N] [--repeats N]\n", argv[0]);
      return 2;
    }
  }
  const size_t size = digest_size > base64_size ? digest_size : base64_size;
  uint8_t* data = malloc(size);
  if (!data) {
    fprintf(stderr, "reference: cannot allocate %zu bytes\n", size);
    return 2;
  }
  for (size_t i = 0; i < size; ++i) data[i] = (uint8_t)(i * 131 + 7);
  MakeTables();
  printf("META program reference pointer_bits %zu openssl %s zlib %s xxhash %u repeats %d\n",
         8 * sizeof(void*), OpenSSL_version(OPENSSL_VERSION_STRING), zlibVersion(), XXH_versionNumber(), repeats);

  Crc("zlib_crc32", ZlibCrc32, 8, data, digest_size, repeats);
  Crc("textbook_crc32", TextbookCrc32, 8, data, digest_size, repeats);
  Crc("textbook_crc16", TextbookCrc16Wide, 4, data, digest_size, repeats);
  Crc("textbook_crc32c", TextbookCrc32c, 8, data, digest_size, repeats);
  Crc("textbook_crc64", TextbookCrc64, 16, data, digest_size, repeats);
  Crc("memory_read", MemoryRead, 8, data, digest_size, repeats);
  Digest("openssl_md5", EVP_md5(), data, digest_size, repeats);
  Hmac("openssl_hmac_md5", EVP_md5(), data, digest_size, repeats);
  Digest("openssl_sha1", EVP_sha1(), data, digest_size, repeats);
  Hmac("openssl_hmac_sha1", EVP_sha1(), data, digest_size, repeats);
  Digest("openssl_sha256", EVP_sha256(), data, digest_size, repeats);
  Hmac("openssl_hmac_sha256", EVP_sha256(), data, digest_size, repeats);
  Digest("openssl_sha512", EVP_sha512(), data, digest_size, repeats);
  Hmac("openssl_hmac_sha512", EVP_sha512(), data, digest_size, repeats);
  Digest("openssl_sha224", EVP_sha224(), data, digest_size, repeats);
  Digest("openssl_sha384", EVP_sha384(), data, digest_size, repeats);
  Digest("openssl_sha512_224", EVP_sha512_224(), data, digest_size, repeats);
  Digest("openssl_sha512_256", EVP_sha512_256(), data, digest_size, repeats);
  Digest("openssl_sha3_224", EVP_sha3_224(), data, digest_size, repeats);
  Digest("openssl_sha3_256", EVP_sha3_256(), data, digest_size, repeats);
  Hmac("openssl_hmac_sha3_256", EVP_sha3_256(), data, digest_size, repeats);
  Digest("openssl_sha3_384", EVP_sha3_384(), data, digest_size, repeats);
  Digest("openssl_sha3_512", EVP_sha3_512(), data, digest_size, repeats);
  Digest("openssl_blake2b512", EVP_blake2b512(), data, digest_size, repeats);
  Digest("openssl_blake2s256", EVP_blake2s256(), data, digest_size, repeats);
  Hmac("openssl_hmac_sha384", EVP_sha384(), data, digest_size, repeats);
  Xxh3("xxhash_xxh3", 0, data, digest_size, repeats);
  Xxh3("xxhash_xxh128", 1, data, digest_size, repeats);
  Base64(data, base64_size, repeats);
  free(data);
  return 0;
}
