// The operating-system services of the module: threads, waits, events, locks, sleeping.
//
// Two backends implement one interface: Win32Os on the Win32 kernel (the DLL) and
// PosixOs on the C++ standard library (the native build, and the Windows tests,
// which run one typed suite over both). `Os` names the backend of this build.
//
// Contracts shared by both backends:
// - ThreadHandle is an opaque value; nullptr is the empty handle that a failed
//   creation yields. Every operation on the empty handle does nothing and reports
//   failure. A handle stays valid until close_thread; the thread itself runs on
//   after its handle is closed, and a handle must not be used after it is closed.
// - A thread created suspended runs nothing of its routine until resume_thread.
// - wait_any_thread watches at most kMaxWaitThreads handles and reports the lowest
//   index among those whose thread has ended.
// - Event is auto-reset by default: a successful wait consumes the signal; set on a
//   signalled event changes nothing. A manual-reset event stays signalled until
//   reset, releasing every wait meanwhile.
// - CriticalSection is recursive, as a Win32 critical section is.
// - Module pins: code that runs on a thread of its own after the host may have let
//   go of the module takes a pin first (pin_module) and ends its thread through
//   leave_pinned_thread, which drops the pin and ends the thread in one step that
//   never returns into the module. While any pin is held the module stays mapped.
//   The native build is not unloaded, so there pins cost nothing.
// - park_current_thread never returns; terminate_parked_thread ends such a thread
//   where the platform can (a parked thread holds no lock and runs no more code).
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define TELVARN_STDCALL __attribute__((stdcall))
#else
#define TELVARN_STDCALL
#endif

namespace telvarn::platform {

// A thread's entry point: its single argument, and the thread's exit code.
using ThreadRoutine = uint32_t(TELVARN_STDCALL*)(void* arg);
using ThreadHandle = void*;

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr uint32_t kMaxWaitThreads = 64;

enum class WaitOutcome { kEnded, kTimedOut, kFailed };

enum class EventReset { kAuto, kManual };

// wait_any_thread yields the index of an ended thread, or one of these.
inline constexpr int32_t kWaitAnyTimedOut = -1;
inline constexpr int32_t kWaitAnyFailed = -2;

template <class Lock>
class ScopedLock {
 public:
  explicit ScopedLock(Lock& lock) : lock_(lock) { lock_.lock(); }
  ~ScopedLock() { lock_.unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace telvarn::platform

#include "platform/posix/os_posix.h"
#if defined(_WIN32)
#include "platform/win32/os_win32.h"
namespace telvarn::platform {
using Os = Win32Os;
}
#else
namespace telvarn::platform {
using Os = PosixOs;
}
#endif
