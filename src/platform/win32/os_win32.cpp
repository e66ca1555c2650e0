// The platform backend on the Win32 kernel: threads, module pins, locks, condition variables, sleeping, raw and interruptible file IO.
#include "platform/platform.h"

#include <io.h>
#include <process.h>
#include <windows.h>

namespace telvarn::platform {

static_assert(kInfinite == INFINITE);
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

ThreadHandle Win32Os::create_thread(ThreadRoutine routine, void* arg, uint32_t* thread_id) {
  unsigned id = 0;
  // Without STACK_SIZE_PARAM_IS_A_RESERVATION the size would be committed at once.
  uintptr_t handle =
      _beginthreadex(nullptr, kThreadStackBytes, routine, arg, STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (handle == 0) return nullptr;
  if (thread_id != nullptr) *thread_id = id;
  return reinterpret_cast<ThreadHandle>(handle);
}

bool Win32Os::lower_thread_priority(ThreadHandle thread) {
  return thread != nullptr && SetThreadPriority(thread, THREAD_PRIORITY_LOWEST) != 0;
}

uint32_t Win32Os::usable_processors() {
  DWORD_PTR process = 0, system = 0;
  uint32_t count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++count;
  }
  return count > 0 ? count : 1;
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

void Win32Os::close_thread(ThreadHandle thread) {
  if (thread != nullptr) CloseHandle(thread);
}

void Win32Os::sleep_ms(uint32_t ms) { Sleep(ms); }

// GetTickCount64 advances in steps of about 16 ms; the performance counter keeps
// time-outs to the millisecond. The frequency is asked each time, from memory the
// system shares with every process, since a local static would need a guard
// (see Active in cpu/kernel_table.h).
uint64_t Win32Os::monotonic_ms() {
  LARGE_INTEGER frequency_hz;
  QueryPerformanceFrequency(&frequency_hz);
  const int64_t frequency = frequency_hz.QuadPart;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const int64_t seconds = now.QuadPart / frequency;
  return static_cast<uint64_t>(seconds * 1000 + (now.QuadPart % frequency) * 1000 / frequency);
}

int64_t Win32Os::read_file(std::FILE* file, void* buffer, uint32_t count) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return -1;
  DWORD read = 0;
  if (!ReadFile(handle, buffer, count, &read, nullptr)) return -1;
  return read;
}

bool Win32Os::position_file(std::FILE* file, uint64_t offset) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

int64_t Win32Os::regular_file_size(std::FILE* file) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return -1;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) return -1;
  return size.QuadPart;
}

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

bool Win32Os::pin_module() {
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ThisModule), &module) != 0;
}

void Win32Os::unpin_module() { FreeLibrary(ThisModule()); }

// FreeLibraryAndExitThread lives in the system's code: when it drops the last
// reference the module is unmapped under a thread that never returns into it.
void Win32Os::leave_pinned_thread(uint32_t exit_code) {
  FreeLibraryAndExitThread(ThisModule(), exit_code);
}

bool Win32Os::in_unloadable_module() { return ThisModule() != GetModuleHandleW(nullptr); }

void Win32Os::Mutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&storage_)); }

void Win32Os::Mutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&storage_)); }

bool Win32Os::ConditionVariable::wait(Mutex& mutex, uint32_t timeout_ms) {
  return SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&storage_),
                                   reinterpret_cast<SRWLOCK*>(&mutex.storage_), timeout_ms, 0) != 0;
}

void Win32Os::ConditionVariable::notify_all() {
  WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&storage_));
}

Win32Os::BlockingIo::~BlockingIo() {
  if (thread_ != nullptr) CloseHandle(thread_);
}

int64_t Win32Os::BlockingIo::Enter(void* handle) {
  // A call on a disk file ends by itself within moments, and is let end whole.
  // The type is asked once per stream, not at every read of a pipe.
  if (handle != typed_handle_) {
    typed_handle_ = handle;
    typed_stoppable_ = GetFileType(handle) != FILE_TYPE_DISK;
  }
  ScopedLock<Mutex> hold(lock_);
  if (interrupted_) return kIoInterrupted;
  stoppable_ = typed_stoppable_;
  const DWORD id = GetCurrentThreadId();
  if (thread_ == nullptr || thread_id_ != id) {
    if (thread_ != nullptr) CloseHandle(thread_);
    thread_ = nullptr;
    HANDLE self = nullptr;
    // CancelSynchronousIo needs THREAD_TERMINATE access to the thread.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, THREAD_TERMINATE,
                         FALSE, 0)) {
      return -1;
    }
    thread_ = self;
    thread_id_ = id;
  }
  inside_ = true;
  return 0;
}

bool Win32Os::BlockingIo::Leave() {
  ScopedLock<Mutex> hold(lock_);
  inside_ = false;
  left_.notify_all();
  return interrupted_;
}

int64_t Win32Os::BlockingIo::read(std::FILE* file, void* buffer, uint32_t count) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return -1;
  if (const int64_t refused = Enter(handle)) return refused;
  DWORD read = 0;
  const BOOL ok = ReadFile(handle, buffer, count, &read, nullptr);
  const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  const bool interrupted = Leave();
  if (ok) return read;
  // A pipe whose writer has closed reports its end as an error.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  return interrupted ? kIoInterrupted : -1;
}

int64_t Win32Os::BlockingIo::write(std::FILE* file, const void* bytes, uint32_t count) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return -1;
  const auto* from = static_cast<const uint8_t*>(bytes);
  uint32_t done = 0;
  while (done < count) {
    if (const int64_t refused = Enter(handle)) return refused;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle, from + done, count - done, &written, nullptr);
    const bool interrupted = Leave();
    if (!ok) return interrupted ? kIoInterrupted : -1;
    done += written;
  }
  return count;
}

// Between Enter and Leave the owner makes one call and nothing else, so the
// cancellation can reach no other IO of that thread; it is repeated because the
// owner may have entered without having reached the system call yet.
void Win32Os::BlockingIo::interrupt() {
  ScopedLock<Mutex> hold(lock_);
  interrupted_ = true;
  while (inside_) {
    if (stoppable_) CancelSynchronousIo(thread_);
    left_.wait(lock_, stoppable_ ? 1 : kInfinite);
  }
}

}  // namespace telvarn::platform
