/* Restores the trap number in the signal frames qemu-i386 gives 32-bit Wine, which reads the kind of each fault from it.
 *
 * qemu-i386 (10.0 included) writes trapno = -1 into every i386 signal frame.
 * Wine's 32-bit signal handlers decide what a fault is from that number alone, so
 * under the emulator an access violation arrives as an illegal instruction and a
 * divide by zero as a floating-point fault. The kernel derives the number from the
 * trap; qemu already tells the same trap in the signal and its si_code, so this
 * library, preloaded into emulated processes only (scripts/setup.sh builds it,
 * scripts/wine-env.sh names it in QEMU_SET_ENV), wraps sigaction: each handler for
 * a fault signal is installed behind a trampoline that fills trapno from the
 * signal before the handler sees the frame. A frame whose trapno is not -1, or a
 * signal another process sent, is passed on untouched.
 *
 * The library also takes LD_PRELOAD out of its own process's environment: the
 * variable came from qemu (QEMU_SET_ENV, which every emulated child reads again),
 * and a 64-bit program that Wine starts must not try to preload an i386 library.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ucontext.h>

/* The x86 trap numbers, as the kernel reports them. */
enum {
  kTrapDivide = 0,
  kTrapDebug = 1,
  kTrapBreakpoint = 3,
  kTrapOverflow = 4,
  kTrapInvalidOpcode = 6,
  kTrapProtection = 13,
  kTrapPageFault = 14,
  kTrapFloatingPoint = 16,
  kTrapAlignment = 17,
};

typedef int (*sigaction_fn)(int, const struct sigaction *, struct sigaction *);
typedef void (*info_handler)(int, siginfo_t *, void *);

/* The handlers the process installed, by signal; written under sigaction's
 * caller, read in the trampoline: a pointer store is atomic on i386. */
static info_handler volatile installed[_NSIG];

static int is_fault_signal(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

static int trap_of(int sig, int code) {
  switch (sig) {
    case SIGSEGV:
      /* The kernel reports a general-protection fault with SI_KERNEL. */
      return code == SI_KERNEL ? kTrapProtection : kTrapPageFault;
    case SIGBUS:
      return code == BUS_ADRALN ? kTrapAlignment : kTrapPageFault;
    case SIGILL:
      return kTrapInvalidOpcode;
    case SIGFPE:
      if (code == FPE_INTDIV) return kTrapDivide;
      if (code == FPE_INTOVF) return kTrapOverflow;
      return kTrapFloatingPoint;
    case SIGTRAP:
      return code == TRAP_TRACE || code == TRAP_HWBKPT ? kTrapDebug : kTrapBreakpoint;
    default:
      return -1;
  }
}

static void trampoline(int sig, siginfo_t *info, void *context) {
  ucontext_t *frame = context;
  /* si_code > 0 (or SI_KERNEL) means the fault came from the processor, not from
   * kill() or sigqueue(). */
  if (frame && info && (info->si_code > 0 || info->si_code == SI_KERNEL) &&
      frame->uc_mcontext.gregs[REG_TRAPNO] == -1) {
    frame->uc_mcontext.gregs[REG_TRAPNO] = trap_of(sig, info->si_code);
  }
  info_handler handler = installed[sig];
  if (handler) handler(sig, info, context);
}

static sigaction_fn next_sigaction(void) {
  static sigaction_fn next;
  if (!next) next = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
  return next;
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old) {
  sigaction_fn next = next_sigaction();
  if (!next) return -1;
  if (sig <= 0 || sig >= _NSIG || !is_fault_signal(sig)) return next(sig, act, old);

  info_handler previous = installed[sig];
  struct sigaction wrapped;
  const struct sigaction *to_install = act;
  if (act && (act->sa_flags & SA_SIGINFO) && act->sa_sigaction) {
    wrapped = *act;
    wrapped.sa_sigaction = trampoline;
    to_install = &wrapped;
    /* Known before the trampoline can run. */
    installed[sig] = act->sa_sigaction;
  }
  int status = next(sig, to_install, old);
  if (status != 0) {
    installed[sig] = previous;
    return status;
  }
  if (act && to_install == act) installed[sig] = NULL;
  /* The caller is told of its own handler, never of the trampoline. */
  if (old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == trampoline) old->sa_sigaction = previous;
  return 0;
}

__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }
