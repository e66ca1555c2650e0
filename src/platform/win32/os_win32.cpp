// Threads, waits, events and locks on the Win32 kernel.
#include "platform/platform.h"

#include <process.h>
#include <windows.h>

namespace telvarn::platform {

static_assert(kMaxWaitThreads == MAXIMUM_WAIT_OBJECTS);
static_assert(kInfinite == INFINITE);

ThreadHandle Win32Os::create_thread(ThreadRoutine routine, void* arg, bool start_suspended,
                                    uint32_t* thread_id) {
  unsigned id = 0;
  uintptr_t handle =
      _beginthreadex(nullptr, 0, routine, arg, start_suspended ? CREATE_SUSPENDED : 0, &id);
  if (handle == 0) return nullptr;
  if (thread_id != nullptr) *thread_id = id;
  return reinterpret_cast<ThreadHandle>(handle);
}

bool Win32Os::resume_thread(ThreadHandle thread) {
  return thread != nullptr && ResumeThread(thread) != static_cast<DWORD>(-1);
}

bool Win32Os::lower_thread_priority(ThreadHandle thread) {
  return thread != nullptr && SetThreadPriority(thread, THREAD_PRIORITY_LOWEST) != 0;
}

WaitOutcome Win32Os::wait_thread(ThreadHandle thread, uint32_t timeout_ms) {
  if (thread == nullptr) return WaitOutcome::kFailed;
  switch (WaitForSingleObject(thread, timeout_ms)) {
    case WAIT_OBJECT_0:
      return WaitOutcome::kEnded;
    case WAIT_TIMEOUT:
      return WaitOutcome::kTimedOut;
    default:
      return WaitOutcome::kFailed;
  }
}

int32_t Win32Os::wait_any_thread(const ThreadHandle* threads, uint32_t count, uint32_t timeout_ms) {
  if (count == 0 || count > kMaxWaitThreads) return kWaitAnyFailed;
  DWORD result = WaitForMultipleObjects(count, threads, FALSE, timeout_ms);
  if (result < WAIT_OBJECT_0 + count) return static_cast<int32_t>(result - WAIT_OBJECT_0);
  return result == WAIT_TIMEOUT ? kWaitAnyTimedOut : kWaitAnyFailed;
}

void Win32Os::close_thread(ThreadHandle thread) {
  if (thread != nullptr) CloseHandle(thread);
}

void Win32Os::sleep_ms(uint32_t ms) { Sleep(ms); }

namespace {

// The module (DLL or program) whose code this is, without touching its reference count.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

void Win32Os::pin_module() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThisModule),
                     &module);
}

void Win32Os::unpin_module() { FreeLibrary(ThisModule()); }

// FreeLibraryAndExitThread lives in the system's code: when it drops the last
// reference the module is unmapped under a thread that never returns into it.
void Win32Os::leave_pinned_thread(uint32_t exit_code) { FreeLibraryAndExitThread(ThisModule(), exit_code); }

void Win32Os::park_current_thread() {
  for (;;) Sleep(INFINITE);
}

void Win32Os::terminate_parked_thread(ThreadHandle thread) {
  if (thread == nullptr) return;
  TerminateThread(thread, 0);
  WaitForSingleObject(thread, 1000);
}

Win32Os::Event::Event(EventReset reset)
    : handle_(CreateEventA(nullptr, reset == EventReset::kManual, FALSE, nullptr)) {}

Win32Os::Event::~Event() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

void Win32Os::Event::set() { SetEvent(handle_); }

void Win32Os::Event::reset() { ResetEvent(handle_); }

bool Win32Os::Event::wait(uint32_t timeout_ms) {
  return handle_ != nullptr && WaitForSingleObject(handle_, timeout_ms) == WAIT_OBJECT_0;
}

Win32Os::CriticalSection::CriticalSection() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_));
  static_assert(alignof(CRITICAL_SECTION) <= 8);
  InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

Win32Os::CriticalSection::~CriticalSection() {
  DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void Win32Os::CriticalSection::lock() {
  EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void Win32Os::CriticalSection::unlock() {
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

}  // namespace telvarn::platform
