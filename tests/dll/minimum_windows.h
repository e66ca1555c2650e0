// The oldest Windows the modules and telvarn.exe run on, and the system functions that it has and they may import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include <windows.h>

namespace telvarn::test {

// Windows Vista and Windows Server 2008 (NT 6.0). The PE headers claim it too
// (the link options in the top CMakeLists.txt).
constexpr uint16_t kMinimumWindowsMajor = 6;
constexpr uint16_t kMinimumWindowsMinor = 0;
constexpr const char* kMinimumWindowsName = "Windows Vista / Server 2008 (NT 6.0)";

// What NT 6.0 brought that the modules use, and so what sets the minimum: slim
// reader/writer locks and the condition variables that wait on them, the 64-bit tick
// count, and the cancelling of another thread's blocked read. With them, fiber-local
// storage, whose callbacks release a thread's values when it ends (NT 5.2, which
// 32-bit Windows XP is not).
constexpr const char* kKernel32SinceVista[] = {
    "AcquireSRWLockExclusive", "CancelSynchronousIo", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",
    "GetTickCount64", "ReleaseSRWLockExclusive", "SleepConditionVariableSRW", "WakeAllConditionVariable",
};

// Every other function imported, each from Windows XP or earlier. The x86-64
// unwinding entry points (RtlVirtualUnwind, __C_specific_handler, ...) are in every
// 64-bit kernel32; the msvcrt.dll names are those of the system's own C runtime,
// which mingw-w64 links against, in both its i686 and x86-64 spellings.
constexpr const char* kKernel32BeforeVista[] = {
    "AddVectoredExceptionHandler", "__C_specific_handler", "CloseHandle", "CreateEventA",
    "CreateFileW", "CreateNamedPipeA", "CreateSemaphoreA", "DeleteCriticalSection", "DeleteFileW",
    "DuplicateHandle", "EnterCriticalSection", "FileTimeToSystemTime", "FindClose",
    "FindFirstFileExW", "FindNextFileW", "FormatMessageA", "FormatMessageW", "FreeLibrary",
    "FreeLibraryAndExitThread", "GetACP", "GetCommandLineW", "GetConsoleMode", "GetCurrentProcess",
    "GetCurrentProcessId", "GetCurrentThread", "GetCurrentThreadId", "GetFileAttributesExW",
    "GetFileAttributesW", "GetFileInformationByHandle", "GetFileSizeEx", "GetFileType", "GetFullPathNameW",
    "GetHandleInformation", "GetLastError", "GetModuleFileNameW", "GetModuleHandleA",
    "GetModuleHandleExW", "GetModuleHandleW", "GetProcAddress", "GetProcessAffinityMask",
    "GetProcessTimes", "GetStartupInfoW", "GetStdHandle", "GetSystemInfo",
    "GetSystemTimeAdjustment", "GetSystemTimeAsFileTime", "GetTempFileNameW", "GetTempPathW",
    "GetThreadContext", "GetThreadPriority", "GetThreadTimes", "InitializeCriticalSection",
    "IsDBCSLeadByteEx", "IsDebuggerPresent", "LCMapStringW", "LeaveCriticalSection", "LoadLibraryA",
    "LoadLibraryW",
    "LocalFree", "MultiByteToWideChar", "OpenProcess", "OutputDebugStringA",
    "QueryPerformanceCounter", "QueryPerformanceFrequency", "RaiseException", "ReadFile",
    "ReleaseSemaphore", "RemoveVectoredExceptionHandler", "ResetEvent", "ResumeThread",
    "RtlCaptureContext", "RtlLookupFunctionEntry", "RtlUnwindEx", "RtlVirtualUnwind", "SetEvent",
    "SetFilePointerEx", "SetLastError", "SetProcessAffinityMask", "SetSystemTime",
    "SetThreadContext", "SetThreadPriority", "SetUnhandledExceptionFilter", "Sleep",
    "SuspendThread", "SwitchToThread", "TlsAlloc", "TlsGetValue", "TlsSetValue",
    "TryEnterCriticalSection", "VirtualProtect", "VirtualQuery", "WaitForMultipleObjects",
    "WaitForSingleObject", "WideCharToMultiByte", "WriteConsoleW", "WriteFile",
};
constexpr const char* kMsvcrt[] = {
    "abort", "_amsg_exit", "atoi", "_beginthreadex", "calloc", "_cexit", "clearerr", "_close",
    "_commode", "_endthreadex", "_errno", "exit", "fclose", "fflush", "fgetpos", "_filelengthi64",
    "_fileno", "_fmode", "fopen", "fprintf", "fputc", "fputs", "free", "fsetpos", "fwrite",
    "_get_osfhandle", "getenv", "_initterm", "_iob", "__iob_func", "___lc_codepage_func",
    "localeconv", "_lock", "longjmp", "malloc", "__mb_cur_max", "___mb_cur_max_func", "memchr",
    "memcmp", "memcpy", "memmove", "memset", "_onexit", "__p__commode", "__p__fmode", "__p__wcmdln",
    "printf", "_read", "realloc", "__set_app_type", "_setjmp", "_setjmp3", "setlocale",
    "__setusermatherr", "signal", "strchr", "strcmp", "_strdup", "strerror", "strlen", "strncmp",
    "strtoul", "_ultoa", "_unlock", "vfprintf", "_wcmdln", "wcslen", "__wgetmainargs", "__winitenv",
};
constexpr const char* kVersion[] = {
    "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW",
};

struct SystemDll {
  const char* name;
  const char* const* functions;
  size_t count;
};
constexpr SystemDll kMinimumWindowsDlls[] = {
    {"KERNEL32.dll", kKernel32SinceVista, std::size(kKernel32SinceVista)},
    {"KERNEL32.dll", kKernel32BeforeVista, std::size(kKernel32BeforeVista)},
    {"msvcrt.dll", kMsvcrt, std::size(kMsvcrt)},
    {"VERSION.dll", kVersion, std::size(kVersion)},
};

// Whether the minimum Windows exports FUNCTION from DLL (a DLL name in any case, as
// the loader compares it).
inline bool MinimumWindowsHas(const std::string& dll, const std::string& function) {
  for (const SystemDll& system_dll : kMinimumWindowsDlls) {
    if (_stricmp(system_dll.name, dll.c_str()) != 0) continue;
    for (size_t i = 0; i < system_dll.count; ++i) {
      if (function == system_dll.functions[i]) return true;
    }
  }
  return false;
}

}  // namespace telvarn::test
