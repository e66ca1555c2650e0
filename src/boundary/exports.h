// The exported functions as the module defines them (the .def file decorates them).
//
// Every export takes four 32-bit arguments under __stdcall on 32-bit Windows,
// returns a signed 32-bit status that is never positive, never throws, and must be
// called from one host thread at a time. Results: 0 done; a reported value negated;
// -1 for an absent IO (an IO number no _Telvarn_IO_Initialize@16 registered) in the
// binding, key and job exports, and for a file that cannot be opened.
#pragma once

#include <cstdint>

#include "boundary/var_desc.h"
#include "platform/platform.h"

extern "C" {

// Registers the IO number, or finds it, and puts the IO back to idle with nothing
// bound; a file still bound to it is closed, the key stays. 0, or -1 when memory
// for a new IO cannot be had.
int32_t TELVARN_STDCALL Telvarn_IO_Initialize(int32_t io, int32_t, int32_t, int32_t) noexcept;

// Binds the IO's input to the file named by var->data (mode 1, opened "rbS") or to
// the memory at var->data (any other mode) of `length` bytes (0: up to its first
// NUL). 0 bound; -1 absent IO or file not opened.
int32_t TELVARN_STDCALL Telvarn_IO_Input_Set(const telvarn::VarDesc* var, int32_t io, int32_t mode,
                                             int32_t length) noexcept;

// The same for the output; a file is opened "wbS", which empties it at once.
int32_t TELVARN_STDCALL Telvarn_IO_Output_Set(const telvarn::VarDesc* var, int32_t io, int32_t mode,
                                              int32_t length) noexcept;

// Copies `length` bytes of the key (0: up to its first NUL; at most 4095) into the
// IO's key area, followed by a NUL. 0 stored; -1 absent IO.
int32_t TELVARN_STDCALL Telvarn_IO_Key_Set(const void* key, int32_t io, int32_t length,
                                           int32_t) noexcept;

// Job exports: start the job on the IO. async 0 runs it now and returns once it
// has finished; any other value queues it at a priority from 1 (first) to 6
// (last), other values counting as 4. 0 started; -1 absent IO (or no thread could
// be made for the job).
// CRC-32 of the input as 8 upper-case hexadecimal characters.
int32_t TELVARN_STDCALL Telvarn_CRC32(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
// CRC-16/MCRF4XX of the input as 4 upper-case hexadecimal characters.
int32_t TELVARN_STDCALL Telvarn_CRC16(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
// SHA-1, SHA-256, SHA-512 of the input as 40, 64, 128 upper-case hexadecimal characters.
int32_t TELVARN_STDCALL Telvarn_SHA1(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
int32_t TELVARN_STDCALL Telvarn_SHA256(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
int32_t TELVARN_STDCALL Telvarn_SHA512(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
// MD5 of the input as 32 lower-case hexadecimal characters.
int32_t TELVARN_STDCALL Telvarn_MD5(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;
// HMAC-MD5 of the input under the IO's key (its key text up to the first NUL), as
// 32 lower-case hexadecimal characters.
int32_t TELVARN_STDCALL Telvarn_MD5Key(int32_t io, int32_t async, int32_t priority, int32_t) noexcept;

// Minus the IO's job state: 0 idle (or absent IO), -1 launched, -2 running,
// -3 suspended, -4 finished. Pauses 10 ms first.
int32_t TELVARN_STDCALL Telvarn_IO_State(int32_t io, int32_t, int32_t, int32_t) noexcept;
// Waits up to timeout_ms (0xFFFFFFFF: no limit) for the IO's job thread to end,
// after a 200 ms pause. -2 ended; -1 timed out; 0 absent IO or nothing to wait on.
int32_t TELVARN_STDCALL Telvarn_IO_Wait(int32_t io, uint32_t timeout_ms, int32_t, int32_t) noexcept;
// After a 200 ms pause: -2 when every asynchronous job has ended (the scheduler is
// idle), -1 otherwise (and before the first launch).
int32_t TELVARN_STDCALL Telvarn_IO_WaitAll(int32_t, int32_t, int32_t, int32_t) noexcept;
// resume 1 resumes a suspended job (-1); any other value suspends a running one at
// its next chunk (0). 0 whenever nothing changes, and for an absent IO. Pauses 10 ms.
int32_t TELVARN_STDCALL Telvarn_IO_Suspend(int32_t io, int32_t resume, int32_t, int32_t) noexcept;

}  // extern "C"
