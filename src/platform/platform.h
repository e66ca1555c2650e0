// The operating-system services of the module: threads, module pins, locks, condition variables, sleeping, raw and interruptible file IO.
//
// Two backends implement one interface (BackendInterface, below, checks each against
// it at compile time): Win32Os on the Win32 kernel (the DLL) and
// StdCppOs on the C++ standard library (the native build, and the Windows tests,
// which run one typed suite over both). `Os` names the backend of this build.
//
// Contracts shared by both backends:
// - ThreadHandle is an opaque value; nullptr is the empty handle that a failed
//   creation yields. Every operation on the empty handle does nothing and reports
//   failure. A handle stays valid until close_thread; the thread itself runs on
//   after its handle is closed, and a handle must not be used after it is closed.
// - Win32 threads reserve a small stack (kThreadStackBytes): the module's threads
//   only hash, and under Wine every thread costs address space.
// - Mutex is not recursive. ConditionVariable waits release the mutex while they
//   wait and hold it again when they return; a wait may return early without a
//   notification, so callers wait through WaitUntil with their own predicate.
//   Neither holds a kernel object: on Win32 both live in the process, so taking
//   an uncontended lock or notifying nobody costs nanoseconds, not a server call.
//   Both are constant-initialised and need no destruction.
// - usable_processors: the processors this process may run on now (its affinity,
//   not all the machine has), at least 1.
// - Module pins: code that runs on a thread of its own after the host may have let
//   go of the module takes a pin first (pin_module, false when none could be
//   taken) and ends its thread through leave_pinned_thread, which drops the pin
//   and ends the thread in one step that never returns into the module. While any
//   pin is held the module stays mapped. The native build is not unloaded, so
//   there pins cost nothing and leave_pinned_thread returns to its caller.
// - read_file reads from an open stream's file at the file's own position,
//   bypassing the stream's buffer: the bytes read, 0 at the end, -1 on an error.
//   position_file sets that position (the stream's may differ, and stays as it is).
//   regular_file_size is the length of the stream's file when it is a regular
//   file, measured with 64-bit offsets; -1 for a pipe, a device or a file that
//   cannot be measured.
//   (Positional reads would spare the caller a seek, but under Wine each costs
//   a round trip to the server, which a seek and plain reads do not.)
// - BlockingIo: the reads and writes of one job on a stream that is not a regular
//   file (a pipe, a device), which may block for as long as the other end wishes,
//   and which a host thread cancelling the job must be able to stop. Its calls are
//   made on one thread at a time (the job's) and bypass the stream's buffer like
//   read_file. read returns once some bytes have come: their count, 0 at the end,
//   -1 on an error; write returns once all `count` bytes are written. interrupt(),
//   from another thread, ends the call under way and every later one with
//   kIoInterrupted, and returns only when no call of the object can move another
//   byte: a call on a regular file is let complete (it takes moments), one on a
//   pipe or device is stopped, and a write of at most kAtomicWriteBytes into a
//   pipe has then landed whole or not at all. It waits for nothing else, so it
//   returns at once even while the other end of a pipe neither reads nor writes. kInterruptsBlockedCalls is false only for the
//   standard-library backend on Windows (used by tests alone), whose interrupt
//   stops later calls but not one under way.
// - in_unloadable_module: this code is a DLL's, so its static objects are
//   destroyed at unload, when none of its threads is left. In a program they are
//   destroyed by exit() while other threads may still run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <type_traits>

// TELVARN_CALL, the exports' calling convention, is also what Win32 thread
// routines use.
#include "telvarn.h"

namespace telvarn::platform {

// A thread's entry point: its single argument, and the thread's exit code.
using ThreadRoutine = uint32_t(TELVARN_CALL*)(void* arg);
using ThreadHandle = void*;

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr uint32_t kThreadStackBytes = 128 * 1024;
inline constexpr int64_t kIoInterrupted = -2;
// The least pipe capacity that POSIX promises to write in one piece (PIPE_BUF).
inline constexpr uint32_t kAtomicWriteBytes = 512;

enum class WaitOutcome { kEnded, kTimedOut, kFailed };

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

#include "platform/stdcpp/os_stdcpp.h"
#if defined(_WIN32)
#include "platform/win32/os_win32.h"
namespace telvarn::platform {
using Os = Win32Os;
}
#else
namespace telvarn::platform {
using Os = StdCppOs;
}
#endif

namespace telvarn::platform {

// The interface both backends provide, in one place: the compiler checks each
// backend of this build against it member by member, so a backend that drifts
// (another signature, a missing member, a copyable lock) fails to compile.
template <class OsT>
struct BackendInterface {
  using Mutex = typename OsT::Mutex;
  using ConditionVariable = typename OsT::ConditionVariable;
  using BlockingIo = typename OsT::BlockingIo;

  template <class Member, class Type>
  static constexpr bool kIs = std::is_same_v<Member, Type>;

  static_assert(kIs<decltype(OsT::kName), const char* const>);
  static_assert(kIs<decltype(OsT::kInterruptsBlockedCalls), const bool>);
  static_assert(kIs<decltype(&OsT::create_thread), ThreadHandle (*)(ThreadRoutine, void*, uint32_t*)>);
  static_assert(kIs<decltype(&OsT::lower_thread_priority), bool (*)(ThreadHandle)>);
  static_assert(kIs<decltype(&OsT::wait_thread), WaitOutcome (*)(ThreadHandle, uint32_t)>);
  static_assert(kIs<decltype(&OsT::close_thread), void (*)(ThreadHandle)>);
  static_assert(kIs<decltype(&OsT::usable_processors), uint32_t (*)()>);
  static_assert(kIs<decltype(&OsT::sleep_ms), void (*)(uint32_t)>);
  static_assert(kIs<decltype(&OsT::monotonic_ms), uint64_t (*)()>);
  static_assert(kIs<decltype(&OsT::read_file), int64_t (*)(std::FILE*, void*, uint32_t)>);
  static_assert(kIs<decltype(&OsT::position_file), bool (*)(std::FILE*, uint64_t)>);
  static_assert(kIs<decltype(&OsT::regular_file_size), int64_t (*)(std::FILE*)>);
  static_assert(kIs<decltype(&OsT::pin_module), bool (*)()>);
  static_assert(kIs<decltype(&OsT::unpin_module), void (*)()>);
  static_assert(kIs<decltype(&OsT::leave_pinned_thread), void (*)(uint32_t)>);
  static_assert(kIs<decltype(&OsT::in_unloadable_module), bool (*)()>);

  static_assert(kIs<decltype(&Mutex::lock), void (Mutex::*)()>);
  static_assert(kIs<decltype(&Mutex::unlock), void (Mutex::*)()>);
  static_assert(kIs<decltype(&ConditionVariable::wait), bool (ConditionVariable::*)(Mutex&, uint32_t)>);
  static_assert(kIs<decltype(&ConditionVariable::notify_all), void (ConditionVariable::*)()>);
  static_assert(kIs<decltype(&BlockingIo::read), int64_t (BlockingIo::*)(std::FILE*, void*, uint32_t)>);
  static_assert(kIs<decltype(&BlockingIo::write), int64_t (BlockingIo::*)(std::FILE*, const void*, uint32_t)>);
  static_assert(kIs<decltype(&BlockingIo::interrupt), void (BlockingIo::*)()>);

  // Locks, condition variables and IO objects are places, not values: a copy
  // would be a second lock or a second owner of one call.
  template <class Place>
  static constexpr bool kIsPlace = std::is_default_constructible_v<Place> && !std::is_copy_constructible_v<Place> &&
                                   !std::is_copy_assignable_v<Place>;
  static_assert(kIsPlace<Mutex> && kIsPlace<ConditionVariable> && kIsPlace<BlockingIo>);

  static constexpr bool kHolds = true;
};

static_assert(BackendInterface<StdCppOs>::kHolds);
#if defined(_WIN32)
static_assert(BackendInterface<Win32Os>::kHolds);
#endif

// Waits on `cv` (with `mutex` held) until ready() holds or `timeout_ms` has passed;
// returns ready(). kInfinite waits for as long as it takes.
template <class OsT, class Predicate>
bool WaitUntil(typename OsT::ConditionVariable& cv, typename OsT::Mutex& mutex, uint32_t timeout_ms,
               Predicate ready) {
  if (timeout_ms == kInfinite) {
    while (!ready()) cv.wait(mutex, kInfinite);
    return true;
  }
  const uint64_t deadline = OsT::monotonic_ms() + timeout_ms;
  while (!ready()) {
    const uint64_t now = OsT::monotonic_ms();
    if (now >= deadline) return false;
    cv.wait(mutex, static_cast<uint32_t>(deadline - now));
  }
  return true;
}

template <class Predicate>
bool WaitUntil(Os::ConditionVariable& cv, Os::Mutex& mutex, uint32_t timeout_ms, Predicate ready) {
  return WaitUntil<Os>(cv, mutex, timeout_ms, ready);
}

}  // namespace telvarn::platform
