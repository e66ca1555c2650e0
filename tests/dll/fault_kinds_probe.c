/* Checks that Wine hands a program each processor fault as its own kind of exception, as Windows does.
 *
 * Under qemu-i386, 32-bit Wine learns a fault's kind only through the trapno mend
 * that scripts/setup.sh installs; without it an access violation arrives as an
 * illegal instruction. Wine's own guard pages and the stack growth of every thread
 * depend on the same classification, so this probe runs before anything is
 * trusted there. Each fault is caught by a vectored handler, which records it and
 * resumes the program after the fault. Exits 0 and prints "all checks passed"
 * when every fault arrived as its kind. */
#include <stdint.h>
#include <stdio.h>
#include <windows.h>

static void* resume_point[5];
static volatile DWORD caught_code;
static volatile ULONG_PTR caught_access;
static volatile ULONG_PTR caught_address;
static int failures;

static void resume(void) { __builtin_longjmp(resume_point, 1); }

static LONG CALLBACK record_fault(EXCEPTION_POINTERS* fault) {
  caught_code = fault->ExceptionRecord->ExceptionCode;
  if (fault->ExceptionRecord->NumberParameters >= 2) {
    caught_access = fault->ExceptionRecord->ExceptionInformation[0];
    caught_address = fault->ExceptionRecord->ExceptionInformation[1];
  }
#ifdef _WIN64
  fault->ContextRecord->Rip = (DWORD64)(uintptr_t)resume;
#else
  fault->ContextRecord->Eip = (DWORD)(uintptr_t)resume;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

static volatile int zero = 0;
static volatile int sink;
static volatile uint8_t* read_only_page;
static volatile uint8_t* guarded_page;

static void read_null(void) { sink = *(volatile int*)(uintptr_t)zero; }
static void write_read_only(void) { read_only_page[16] = 1; }
static void divide_by_zero(void) { sink = 7 / zero; }
static void undefined_instruction(void) { __asm__ volatile("ud2"); }
static void breakpoint(void) { __asm__ volatile("int3"); }
static void touch_guard_page(void) { sink = guarded_page[0]; }

/* Runs FAULT and checks that it raised CODE (no exception when CODE is 0). */
static void expect(const char* what, void (*fault)(void), DWORD code) {
  caught_code = 0;
  caught_access = (ULONG_PTR)-1;
  caught_address = 0;
  if (__builtin_setjmp(resume_point) == 0) {
    fault();
    if (code != 0) {
      printf("FAILED: %s raised no exception\n", what);
      ++failures;
    }
    return;
  }
  if (caught_code != code) {
    printf("FAILED: %s arrived as exception 0x%08lX, not 0x%08lX\n", what, (unsigned long)caught_code,
           (unsigned long)code);
    ++failures;
  }
}

static void expect_access(const char* what, ULONG_PTR access, const volatile void* address) {
  if (caught_access != access || caught_address != (ULONG_PTR)address) {
    printf("FAILED: %s reported access %lu at %p, not %lu at %p\n", what, (unsigned long)caught_access,
           (void*)caught_address, (unsigned long)access, (const void*)address);
    ++failures;
  }
}

int main(void) {
  void* handler = AddVectoredExceptionHandler(1, record_fault);
  read_only_page = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  guarded_page = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE | PAGE_GUARD);
  if (!handler || !read_only_page || !guarded_page) {
    printf("FAILED: set-up (error %lu)\n", (unsigned long)GetLastError());
    return 1;
  }

  expect("a read of address 0", read_null, EXCEPTION_ACCESS_VIOLATION);
  expect_access("the read of address 0", 0, NULL);
  expect("a write to a read-only page", write_read_only, EXCEPTION_ACCESS_VIOLATION);
  expect_access("the write to a read-only page", 1, read_only_page + 16);
  expect("an integer division by zero", divide_by_zero, EXCEPTION_INT_DIVIDE_BY_ZERO);
  expect("ud2", undefined_instruction, EXCEPTION_ILLEGAL_INSTRUCTION);
  expect("int3", breakpoint, EXCEPTION_BREAKPOINT);
  expect("a touch of a guard page", touch_guard_page, STATUS_GUARD_PAGE_VIOLATION);
  expect("a second touch of the page, whose guard the first took away", touch_guard_page, 0);

  RemoveVectoredExceptionHandler(handler);
  if (failures) return 1;
  printf("fault kinds: all checks passed\n");
  return 0;
}
