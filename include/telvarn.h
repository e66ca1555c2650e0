/* telvarn.h: the exports of TelvarnHX.hpi and TelvarnHX64.hpi, for a host or a C program that calls them.
 *
 * TelvarnHX.hpi is a 32-bit Windows DLL. Every export takes four 32-bit arguments
 * under __stdcall (it removes them from the stack itself) and returns a signed
 * 32-bit result that is never positive: 0 when the call was carried out, a value
 * it reports (a state, a length, a wait outcome) negated, -1 for an absent IO in
 * the binding, key and job exports. An IO is a job context named by any 32-bit
 * number the caller chooses; it must be registered with Telvarn_IO_Initialize
 * before the other IO exports accept it. Arguments a comment calls unused are
 * ignored and may hold anything.
 *
 * Null pointers: a null pointer argument, or a TelvarnVarDesc whose data is null,
 * is refused as each export below says (-1 from the binding and key exports, 0
 * from the Base64 exports; IO_Progress writes no counts), before anything is read
 * or changed. Memory that is there but unreadable, too short or read-only is the
 * caller's to get right: the module does not catch faults.
 *
 * TelvarnHX64.hpi is the same module for 64-bit Windows, with the same results.
 * Its exports follow the Windows x64 calling convention (__stdcall means nothing
 * there): the four arguments travel in RCX, RDX, R8 and R9, the caller cleans up.
 * Integers stay 32-bit, as declared below (the module reads only the low 32 bits
 * of their registers), and the result is a 32-bit int in EAX; pointers are 64-bit:
 *   Telvarn_IO_Initialize, _IO_State, _IO_Suspend, _IO_WaitAll, _CRC32, _CRC16,
 *     _MD5, _MD5Key, _SHA1, _SHA256, _SHA512,
 *     _SHA1Key, _SHA256Key, _SHA512Key,
 *     _Digest                                  four int32_t
 *   Telvarn_Algorithm_Info                     int32_t, a 64-bit TelvarnVarDesc pointer, two int32_t
 *   Telvarn_IO_Wait                            int32_t io, uint32_t time-out, two int32_t
 *   Telvarn_IO_Progress                        int32_t io, a 64-bit TelvarnVarDesc pointer, two int32_t
 *   Telvarn_IO_Input_Set, _IO_Output_Set,
 *     _IO_RSA_Key_Set                          a 64-bit TelvarnVarDesc pointer, three int32_t
 *   Telvarn_IO_Key_Set                         a 64-bit key pointer, three int32_t
 *   Telvarn_Base64_Encode                      two 64-bit pointers, uint32_t length, int32_t
 *   Telvarn_Base64_Decode                      two 64-bit pointers, two int32_t
 * A TelvarnVarDesc there has its natural 64-bit layout (below).
 *
 * Threads: host threads may call the exports at the same time, each on IOs of
 * its own; the job-control exports (state, progress, wait, wait-all, suspend)
 * and the Base64 exports may be called from any thread on any IO. A synchronous
 * job runs on the calling thread, an asynchronous one on a thread the module
 * makes when it starts the job.
 *
 * A live IO (its job launched, running or suspended) belongs to its job: keep
 * memory bound to it in place until the job has finished. Binding, keying or
 * launching another job on it returns -1 and changes nothing; re-initialising it
 * cancels the job (see Telvarn_IO_Initialize).
 *
 * Declared with these names, the functions link against the import library of
 * the architecture: libTelvarnHX.dll.a under the 32-bit DLL's decorated export
 * names, such as _Telvarn_IO_Initialize@16, and libTelvarnHX64.dll.a under the
 * 64-bit DLL's plain names, such as Telvarn_IO_Initialize. Compiles as C99 and
 * as C++.
 */
#ifndef TELVARN_H
#define TELVARN_H

/* The version of the modules that this header describes (also in their VERSIONINFO). */
#define TELVARN_VERSION_MAJOR 1
#define TELVARN_VERSION_MINOR 2
#define TELVARN_VERSION_PATCH 0
#define TELVARN_VERSION_STRING "1.2.0"

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TELVARN_CALL __stdcall
#else
#define TELVARN_CALL
#endif

/* The module's file name for this architecture, for LoadLibrary. (A program built
 * for another system links the module's core instead, under the 32-bit name.) */
#if defined(_WIN64)
#define TELVARN_MODULE_NAME "TelvarnHX64.hpi"
#else
#define TELVARN_MODULE_NAME "TelvarnHX.hpi"
#endif

/* The name GetProcAddress finds an export by on this architecture, from the name
 * without its Telvarn_ prefix: TELVARN_EXPORT_NAME(SHA256) is "_Telvarn_SHA256@16"
 * on 32-bit Windows and "Telvarn_SHA256" on 64-bit Windows, where the 32-bit name
 * is exported too, as an alias (see PFN_Telvarn_SHA256 below). */
#if defined(_WIN64)
#define TELVARN_EXPORT_NAME(name) "Telvarn_" #name
#else
#define TELVARN_EXPORT_NAME(name) "_Telvarn_" #name "@16"
#endif

/* No export throws; C++ callers see that in the type. */
#ifdef __cplusplus
#define TELVARN_NOTHROW noexcept
#else
#define TELVARN_NOTHROW
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The descriptor of a script variable. The module reads `stride_words` and `data`
 * and nothing else; a host that is not the script interpreter fills just these two.
 * With 32-bit pointers the record is packed to 4 bytes: stride_words at byte offset
 * 8, data at 28, 32 bytes in all. With 64-bit pointers it has the natural layout
 * of the same fields: stride_words at 8, 4 bytes of padding after host_words_3_6,
 * data at 32, 40 bytes in all. The packing is set here, so that a host's own
 * packing options change neither layout. */
#if defined(_WIN64) || defined(__LP64__) || defined(_LP64)
#pragma pack(push, 8)
#else
#pragma pack(push, 4)
#endif
typedef struct TelvarnVarDesc {
  int32_t host_words_0_1[2];
  int32_t stride_words; /* RSA key text: distance in 4-byte units to the '#' section */
  int32_t host_words_3_6[4];
  void* data; /* a NUL-terminated file name, a memory buffer, or a key text */
} TelvarnVarDesc;
#pragma pack(pop)

typedef char telvarn_stride_words_at_offset_8[offsetof(TelvarnVarDesc, stride_words) == 8 ? 1 : -1];
typedef char telvarn_data_at_offset_28_or_32[offsetof(TelvarnVarDesc, data) == (sizeof(void*) == 8 ? 32 : 28) ? 1 : -1];
typedef char telvarn_var_desc_of_32_or_40_bytes[sizeof(TelvarnVarDesc) == (sizeof(void*) == 8 ? 40 : 32) ? 1 : -1];

/* Job states; Telvarn_IO_State returns them negated. */
#define TELVARN_JOB_IDLE 0
#define TELVARN_JOB_LAUNCHED 1
#define TELVARN_JOB_RUNNING 2
#define TELVARN_JOB_SUSPENDED 3
#define TELVARN_JOB_FINISHED 4

/* Binding modes (any value but 1 binds memory). */
#define TELVARN_MODE_MEMORY 0
#define TELVARN_MODE_FILE 1

/* Job launch: argument 2, and the priorities of argument 3 (other values count as 4). */
#define TELVARN_RUN_NOW 0
#define TELVARN_QUEUE 1
#define TELVARN_PRIORITY_IMMEDIATE 1 /* started at once, whatever else runs */
#define TELVARN_PRIORITY_HIGH 2
#define TELVARN_PRIORITY_NORMAL 4
#define TELVARN_PRIORITY_LOWEST 6

/* Telvarn_IO_Suspend, argument 2 (any value but 1 suspends), and its result for a
 * job it resumed. */
#define TELVARN_SUSPEND 0
#define TELVARN_RESUME 1
#define TELVARN_RESUMED (-1)

/* The longest result text of a digest job (SHA-512's), in characters: a zeroed
 * buffer of TELVARN_DIGEST_TEXT_MAX + 1 bytes holds any result as a C string. */
#define TELVARN_DIGEST_TEXT_MAX 128

/* The digests of Telvarn_Digest and Telvarn_Algorithm_Info, by number. A number
 * names one digest for good and is never reused. A number this module does not
 * know: Telvarn_Algorithm_Info returns 0 for it and Telvarn_Digest -1. */
#define TELVARN_ALGORITHM_CRC32 1       /* "CRC-32", 8 upper-case digits; no keyed form */
#define TELVARN_ALGORITHM_CRC16 2       /* "CRC-16" (CRC-16/MCRF4XX), 4; no keyed form */
#define TELVARN_ALGORITHM_MD5 3         /* "MD5", 32 lower-case digits, keyed as well */
#define TELVARN_ALGORITHM_SHA1 4        /* "SHA-1", 40 upper-case digits, keyed as well */
#define TELVARN_ALGORITHM_SHA256 5      /* "SHA-256", 64 */
#define TELVARN_ALGORITHM_SHA512 6      /* "SHA-512", 128 */
#define TELVARN_ALGORITHM_SHA224 7      /* "SHA-224", 56 */
#define TELVARN_ALGORITHM_SHA384 8      /* "SHA-384", 96 */
#define TELVARN_ALGORITHM_SHA512_224 9  /* "SHA-512/224", 56 */
#define TELVARN_ALGORITHM_SHA512_256 10 /* "SHA-512/256", 64 */
#define TELVARN_ALGORITHM_SHA3_224 11   /* "SHA3-224", 56 */
#define TELVARN_ALGORITHM_SHA3_256 12   /* "SHA3-256", 64 */
#define TELVARN_ALGORITHM_SHA3_384 13   /* "SHA3-384", 96 */
#define TELVARN_ALGORITHM_SHA3_512 14   /* "SHA3-512", 128 */
#define TELVARN_ALGORITHM_CRC32C 15     /* "CRC-32C" (Castagnoli), 8; no keyed form */
#define TELVARN_ALGORITHM_CRC64 16      /* "CRC-64/XZ", 16; no keyed form */
/* 17 and 18: BLAKE2 (RFC 7693), keyed in its own keyed mode, not HMAC: the key is
 * the IO's key text (its bytes up to the first NUL), 0 to 64 bytes for BLAKE2b and
 * 0 to 32 for BLAKE2s, the empty key giving the plain hash. Telvarn_Digest refuses
 * a longer key at launch (-1, nothing started); it is never cut or hashed down. */
#define TELVARN_ALGORITHM_BLAKE2B 17    /* "BLAKE2b-512", 128 lower-case digits; own keyed mode */
#define TELVARN_ALGORITHM_BLAKE2S 18    /* "BLAKE2s-256", 64 lower-case digits; own keyed mode */
/* 19: BLAKE3's hash, its default 32-byte output; keyed, its keyed hash under a key
 * of exactly 32 bytes. A key text ends at its first NUL, so the key text is either
 * the 32 bytes themselves (none of them NUL) or the 64 hexadecimal digits (either
 * case) of the 32 bytes, which is how a binary key reaches the module: pass
 * Telvarn_IO_Key_Set the 64 digits. Telvarn_Digest refuses any other key text at
 * launch (-1, nothing started); it is never padded or cut. A large input is hashed
 * on helper threads of the job's own (docs/api.md, "Threads"). */
#define TELVARN_ALGORITHM_BLAKE3 19     /* "BLAKE3", 64 lower-case digits; own keyed mode */
/* 20 and 21: xxHash's XXH3, seed 0. */
#define TELVARN_ALGORITHM_XXH3 20       /* "XXH3-64", 16 upper-case digits; no keyed form */
#define TELVARN_ALGORITHM_XXH128 21     /* "XXH3-128", 32, the high 64 bits first; no keyed form */

/* Telvarn_Digest, argument 3: bits that may be combined; 0 runs the plain digest now. */
#define TELVARN_DIGEST_QUEUE 1 /* queue the job, as TELVARN_QUEUE does for the job exports */
#define TELVARN_DIGEST_KEYED 2 /* HMAC under the IO's key; BLAKE2's and BLAKE3's own keyed mode (key checked) */

/* Telvarn_Algorithm_Info: the room, in bytes, that every name and its NUL fit in,
 * and that argument 3 given as 0 stands for. */
#define TELVARN_ALGORITHM_NAME_ROOM 16

/* Telvarn_IO_Wait: no time limit; its results. */
#define TELVARN_WAIT_INFINITE 0xFFFFFFFFu
#define TELVARN_WAIT_ENDED (-2)
#define TELVARN_WAIT_TIMED_OUT (-1)
#define TELVARN_WAIT_NOTHING 0

/* Telvarn_IO_Progress: the result once the job has finished. */
#define TELVARN_PROGRESS_FINISHED (-1000)

/* What Telvarn_IO_Progress writes at var->data: four 32-bit words, so that a
 * 32-bit script can follow inputs past 4 GiB. total_low and total_high are both
 * 0xFFFFFFFF (-1) where the input's length is not known. */
typedef struct TelvarnProgressCounts {
  uint32_t consumed_low; /* input bytes digested so far */
  uint32_t consumed_high;
  uint32_t total_low; /* input bytes in all */
  uint32_t total_high;
} TelvarnProgressCounts;

/* Telvarn_IO_WaitAll results. */
#define TELVARN_ALL_IDLE (-2)
#define TELVARN_ALL_BUSY (-1)

/* Telvarn_Base64_Encode, argument 4 (any value but 1 gives one line). */
#define TELVARN_BASE64_ONE_LINE 0
#define TELVARN_BASE64_LINES 1

/* Registers the IO number, or finds it, and sets the IO idle with nothing bound; a
 * file still bound to it is closed, its key is kept. A job launched, running or
 * suspended on the IO is cancelled, never waited for: a queued one never starts,
 * a suspended one is released to stop, a running one stops at its next span of
 * input (at most 64 KiB on), and a read it is blocked in (a pipe its writer keeps silent) is stopped
 * at once. Once this call has returned, nothing more of the job reaches its
 * output: a result it had begun to write into a file is complete first (at most
 * 128 characters), and one not yet begun, or waiting for room in a pipe whose
 * reader does not read, is never written. The job closes its files, never
 * touches the IO again, and counts for Telvarn_IO_WaitAll until it has gone.
 * Memory it was reading may be reused as soon as this call returns. 0 (-1 only
 * when memory for a new IO cannot be had). */
int32_t TELVARN_CALL Telvarn_IO_Initialize(int32_t io, int32_t unused2, int32_t unused3,
                                           int32_t unused4) TELVARN_NOTHROW;

/* Binds the IO's input to the file named by var->data (mode 1, read from its start
 * to its end at the job) or to the `length` bytes at var->data (any other mode;
 * length 0: up to the first NUL). Memory is read when the job runs, not copied.
 * 0 bound; -1 absent IO, the file cannot be opened, or a null var or var->data
 * (nothing changes then: an earlier binding stays). */
int32_t TELVARN_CALL Telvarn_IO_Input_Set(const TelvarnVarDesc* var, int32_t io, int32_t mode,
                                          int32_t length) TELVARN_NOTHROW;

/* Binds the IO's output the same way. A file is created, or emptied, at once. A
 * memory buffer receives the job's result text, without a NUL: give it room for
 * the text (8, 4, 32, 40, 64 or 128 characters), or an explicit length, which the
 * job never writes past. 0 bound; -1 absent IO, the file cannot be opened, or a
 * null var or var->data. Both bindings return -1 without opening anything on a
 * live IO. */
int32_t TELVARN_CALL Telvarn_IO_Output_Set(const TelvarnVarDesc* var, int32_t io, int32_t mode,
                                           int32_t length) TELVARN_NOTHROW;

/* Stores the key for the keyed jobs (the *Key exports, and Telvarn_Digest with
 * TELVARN_DIGEST_KEYED):
 * `length` bytes at `key` (0: up to the first NUL; at most 4095 are kept),
 * followed by a NUL. The jobs read the key up to its first NUL. Re-initialising
 * the IO keeps the key. A keyed job uses the key the IO had when the job was
 * launched. 0 stored; -1 absent IO, live IO or a null `key` (nothing stored). */
int32_t TELVARN_CALL Telvarn_IO_Key_Set(const void* key, int32_t io, int32_t length,
                                        int32_t unused4) TELVARN_NOTHROW;

/* Imports an RSA key text as the IO's key: a first section marked '&' at var->data
 * and a second marked '#' at var->data + 4 * var->stride_words, each a Base64 body
 * up to a NUL (CR and LF skipped, trailing ones trimmed in place). Each section is
 * stored as upper-case hexadecimal text: the first at key position 0, where it is
 * the keyed jobs' key, the second at position 1024. A section whose text and
 * NUL do not fit its room (the first: 1023 characters when a second section is
 * present, 4095 otherwise; the second: 3071) is not stored and does not count; it
 * leaves an empty text at its position, so the keyed jobs then use the empty key
 * rather than an earlier one.
 * Result: minus (1 for a first section + 2 for a second): 0, -1, -2 or -3; -1 also
 * for an absent IO, a live IO and a null var or var->data (nothing is read or
 * stored then). */
int32_t TELVARN_CALL Telvarn_IO_RSA_Key_Set(const TelvarnVarDesc* var, int32_t io, int32_t unused3,
                                            int32_t unused4) TELVARN_NOTHROW;

/* The jobs. Each digests the IO's bound input and writes its result text to the
 * bound output, then releases both bindings (the next job needs new ones). With
 * `async` 0 the call returns once the job has finished; otherwise the job is
 * queued at `priority` 1 (started at the scheduler's next pass) to 6, at most two
 * of priorities 2-6 running at a time, lowest priority first, then oldest first.
 * A queued job holds no thread, so many thousands may wait at once. A file input
 * that fails to read (an error, not its end) gives no result: the job ends as
 * finished with a memory output untouched and an output file empty. 0 started;
 * -1 absent IO, a live IO (its job goes on untouched), or a job that could not be
 * queued (out of memory, or no scheduler thread could be made). */
/* CRC-32 (IEEE 802.3) as 8 upper-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_CRC32(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* CRC-16/MCRF4XX as 4 upper-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_CRC16(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* MD5 as 32 lower-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_MD5(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* HMAC-MD5 under the IO's key as 32 lower-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_MD5Key(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* SHA-1 as 40 upper-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_SHA1(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* SHA-256 as 64 upper-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_SHA256(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* SHA-512 as 128 upper-case hexadecimal digits. */
int32_t TELVARN_CALL Telvarn_SHA512(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
/* Since version 1.1: HMAC (RFC 2104) with SHA-1, SHA-256 or SHA-512 under the IO's
 * key, the key of Telvarn_MD5Key: the bytes before the first NUL of what
 * Telvarn_IO_Key_Set or Telvarn_IO_RSA_Key_Set stored last, taken when the job is
 * launched. A key longer than the hash's block (64 bytes; 128 for SHA-512) is
 * replaced by its digest; an empty key is an ordinary key. The result as 40, 64
 * or 128 upper-case hexadecimal digits, like the plain digest's. */
int32_t TELVARN_CALL Telvarn_SHA1Key(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
int32_t TELVARN_CALL Telvarn_SHA256Key(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;
int32_t TELVARN_CALL Telvarn_SHA512Key(int32_t io, int32_t async, int32_t priority, int32_t unused4) TELVARN_NOTHROW;

/* Since version 1.2: every digest through one export. Launches the job of the
 * digest numbered `algorithm` (TELVARN_ALGORITHM_*) on the IO, exactly as that
 * digest's own job export does (Telvarn_SHA256 for TELVARN_ALGORITHM_SHA256,
 * Telvarn_SHA256Key for it keyed; the SHA-224, SHA-384, SHA-512/224 and
 * SHA-512/256 jobs and their HMACs have no export of their own): the same
 * bindings, key, scheduling, states, cancellation and result text. `flags`:
 * TELVARN_DIGEST_QUEUE queues the job at `priority` (1 to 6, as the job exports
 * take it; without the flag the job runs now and `priority` is ignored);
 * TELVARN_DIGEST_KEYED computes HMAC (RFC 2104) under the IO's key, as the *Key
 * exports do, the key replaced by its digest when it is longer than the hash's
 * block (64 bytes for SHA-1, SHA-224 and SHA-256; 128 for SHA-384 and the
 * SHA-512 family); for BLAKE2b, BLAKE2s and BLAKE3 it computes their own keyed
 * mode under the IO's key text, which must be at most 64 or 32 bytes (BLAKE2) or
 * exactly 32 bytes or 64 hexadecimal digits (BLAKE3). The result is the digest's
 * fixed number of hexadecimal digits: lower case for MD5, HMAC-MD5, BLAKE2 and
 * BLAKE3, upper case for the others. 0 started; -1 for everything a job export
 * refuses (absent IO, live IO, a job that could not be queued), and, changing
 * nothing, for an unknown algorithm number, a keyed request for a digest without
 * a keyed form (the CRCs and XXH3), a keyed BLAKE2 or BLAKE3 request whose key
 * text its rule refuses, or any other flag bit. */
int32_t TELVARN_CALL Telvarn_Digest(int32_t io, int32_t algorithm, int32_t flags,
                                    int32_t priority) TELVARN_NOTHROW;

/* Since version 1.2: what the module knows of a digest number. Minus the length
 * of its result text in hexadecimal digits (-64 for TELVARN_ALGORITHM_SHA256) when
 * the module has the digest, 0 when it does not (nothing is written then). With
 * `name` and name->data not null, the digest's name ("SHA-256", "SHA-512/224",
 * "CRC-32"; the comments of TELVARN_ALGORITHM_* give each) is written at
 * name->data as NUL-terminated text, provided that it fits in `room` bytes (0:
 * TELVARN_ALGORITHM_NAME_ROOM bytes, the room every name fits in); a name that
 * does not fit, or a negative room, writes nothing and returns -1. Reads no IO,
 * and may be called from any thread at any time. */
int32_t TELVARN_CALL Telvarn_Algorithm_Info(int32_t algorithm, const TelvarnVarDesc* name, int32_t room,
                                            int32_t unused4) TELVARN_NOTHROW;

/* After a 10 ms pause: minus the IO's job state, TELVARN_JOB_IDLE (0) to
 * TELVARN_JOB_FINISHED (-4); 0 at once for an absent IO. */
int32_t TELVARN_CALL Telvarn_IO_State(int32_t io, int32_t unused2, int32_t unused3,
                                      int32_t unused4) TELVARN_NOTHROW;

/* Since version 1.1. After a 10 ms pause, how far the IO's job has got: minus
 * the thousandths of its input consumed, 0 to -999, while it is launched,
 * running or suspended on an input whose length is known (a regular file, as
 * long as it was when the job was launched, or memory); 0 while the length is
 * not known (a pipe, a device). TELVARN_PROGRESS_FINISHED (-1000) once the job
 * has finished (its result delivered, its files closed), until the IO is bound
 * or initialised again. 0 for an idle IO (a cancelled job leaves its IO idle),
 * and at once, without pausing, for an absent IO.
 * With `counts` not 0, and the IO not absent, counts->data receives a
 * TelvarnProgressCounts (16 bytes; give the variable room for them): the bytes
 * consumed and in all of the job reported (the consumed count moves a span of
 * input at a time, up to 64 KiB), the total -1 when unknown; an idle IO gives 0
 * of -1. With `counts` 0, or counts->data 0, nothing is written. The call only
 * reads: it never waits for a job, may be made from any thread, and is allowed
 * on a live IO. */
int32_t TELVARN_CALL Telvarn_IO_Progress(int32_t io, const TelvarnVarDesc* counts, int32_t unused3,
                                         int32_t unused4) TELVARN_NOTHROW;

/* After a 200 ms pause, waits up to `timeout_ms` (TELVARN_WAIT_INFINITE: no limit)
 * for the IO's job to end. TELVARN_WAIT_ENDED (-2) it ended (finished, or was
 * cancelled) during the wait, and its state is then -4 or the IO was
 * re-initialised; TELVARN_WAIT_TIMED_OUT (-1) the time ran out; TELVARN_WAIT_NOTHING
 * (0) absent IO or nothing to wait on (no job, or one that had already ended). */
int32_t TELVARN_CALL Telvarn_IO_Wait(int32_t io, uint32_t timeout_ms, int32_t unused3,
                                     int32_t unused4) TELVARN_NOTHROW;

/* After a 200 ms pause: TELVARN_ALL_IDLE (-2) when every queued job has ended and
 * the scheduler is idle, TELVARN_ALL_BUSY (-1) otherwise (also before the first job
 * since the module was loaded). */
int32_t TELVARN_CALL Telvarn_IO_WaitAll(int32_t unused1, int32_t unused2, int32_t unused3,
                                        int32_t unused4) TELVARN_NOTHROW;

/* `resume` 1 resumes a suspended job (TELVARN_RESUMED, -1); any other value suspends
 * a running job, which stops at its next span of input, at most 64 KiB on (0). A job that is already delivering its
 * result is no longer suspended. 0 whenever nothing changes, also for an absent
 * IO. Pauses 10 ms when the IO exists. */
int32_t TELVARN_CALL Telvarn_IO_Suspend(int32_t io, int32_t resume, int32_t unused3,
                                        int32_t unused4) TELVARN_NOTHROW;

/* Encodes `length` bytes at `source` (0: up to its first NUL) as Base64 text with a
 * NUL at `destination`, which needs room for it; line_mode 1 breaks it into lines
 * of 72 characters, each ending in CR LF. The destination may be the source.
 * Result: minus the text's length; 0 for an empty text, or when the text would be
 * larger than 1 GiB (the destination then receives the empty text: a NUL alone);
 * 0, writing nothing, when `destination` or `source` is null. */
int32_t TELVARN_CALL Telvarn_Base64_Encode(void* destination, const void* source, uint32_t length,
                                           int32_t line_mode) TELVARN_NOTHROW;

/* Decodes the NUL-terminated Base64 text at `source` into bytes at `destination`
 * (which may be the source). CR and LF are skipped, and trailing ones are removed
 * from the source text in place. Result: minus the number of bytes written; 0,
 * touching neither, when `destination` or `source` is null. */
int32_t TELVARN_CALL Telvarn_Base64_Decode(void* destination, char* source, int32_t unused3,
                                           int32_t unused4) TELVARN_NOTHROW;

/* The exports as function pointers, for hosts that load TELVARN_MODULE_NAME with
 * LoadLibrary and find each export with GetProcAddress: by its name
 * (TELVARN_EXPORT_NAME(SHA256)), or by its ordinal (MAKEINTRESOURCEA(17)):
 *   PFN_Telvarn_SHA256 sha256 = (PFN_Telvarn_SHA256)GetProcAddress(module, TELVARN_EXPORT_NAME(SHA256));
 * The ordinals are the same in both modules: 1-18 for the eighteen exports in
 * alphabetical order, then the additions of version 1.1, 19 SHA1Key, 20
 * SHA256Key, 21 SHA512Key and 22 IO_Progress, and those of version 1.2, 23
 * Digest and 24 Algorithm_Info. TelvarnHX64.hpi also exports the
 * 32-bit names ("_Telvarn_SHA256@16") for the same functions, so that a host's
 * 32-bit GetProcAddress names keep working; those aliases are meant to be found by
 * name, and have ordinals of their own, 100 + the export's ordinal (117 here). */
typedef int32_t(TELVARN_CALL* PFN_Telvarn_Base64_Decode)(void*, char*, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_Base64_Encode)(void*, const void*, uint32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_CRC16)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_CRC32)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Initialize)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Input_Set)(const TelvarnVarDesc*, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Key_Set)(const void*, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Output_Set)(const TelvarnVarDesc*, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_RSA_Key_Set)(const TelvarnVarDesc*, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_State)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Suspend)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Wait)(int32_t, uint32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_WaitAll)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_MD5)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_MD5Key)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA1)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA256)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA512)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA1Key)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA256Key)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_SHA512Key)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_IO_Progress)(int32_t, const TelvarnVarDesc*, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_Digest)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(TELVARN_CALL* PFN_Telvarn_Algorithm_Info)(int32_t, const TelvarnVarDesc*, int32_t, int32_t);

#ifdef __cplusplus
}
#endif

#endif /* TELVARN_H */
