#!/usr/bin/env python3
"""telvarn on pipes far larger than the memory it may take: sha256 of 256 MiB and
base64 of 96 MiB, their output against hashlib and GNU base64, and the peak resident
memory of the program's own process, which must stay far below the input's size.
(scripts/cli-bench.sh runs the same with 1 GiB.)

The peak is the VmHWM that /proc/PID/status shows while the process, stopped by
ptrace on its way out (PTRACE_O_TRACEEXIT), still has its memory. Easier readings are
wrong: the ru_maxrss that os.wait4 returns carries this test's own peak across exec
(subprocess starts the child with vfork, and the kernel keeps the larger of the old
and new images' peaks); a zombie's /proc/PID/status has no VmHWM left; GNU time forks
from a small process of its own, but under Wine it also counts the wrapper script
and every helper the script waits for, wineboot included. The process stopped here
is the one the command starts, read only if its first argument names the program: a
wrapper that execs the emulator leaves the Windows program in that same process
(Wine's loader, whose arguments Wine rewrites to start with the .exe), and the peak
then includes Wine's own libraries, about 10 MiB. A reference program, read after
this test has peaked far higher, proves that the reading leaves this test out.

usage: cli_memory_test.py [--sanitized] COMMAND...   (see cli_support.py)
--sanitized: 32 MiB streams, and no peak: a sanitizer's shadow memory and the
quarantine of freed blocks would be counted as the program's (and LeakSanitizer stops
a program that runs under a tracer).
"""
import ctypes
import hashlib
import os
import signal
import subprocess
import sys
import tempfile
import threading

from cli_support import COMMAND, ENV, RUN_TIMEOUT_SECONDS, SANITIZED, check, gnu, run_area, skip

STREAM_MIB = 32 if SANITIZED else 256
PEAK_LIMIT_KIB = 96 * 1024
# Raised above anything the reference program could take, so that a reading that
# carried this test's peak would show.
OWN_PEAK_MIB = 256

PTRACE_CONT = 7
PTRACE_SEIZE = 0x4206
PTRACE_O_TRACEEXIT = 0x40
PTRACE_EVENT_EXIT = 6

libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
libc.ptrace.restype = ctypes.c_long


def vm_hwm_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return None


def command_line(pid):
    with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
        return cmdline.read().rstrip(b"\0").split(b"\0")


def is_program(arguments, program):
    """Whether a process whose arguments these are is the program itself, named by
    its first argument as a path, or as Wine names a Windows program's process (also
    as a DOS path, whose separators are backslashes). Later arguments do not count: a
    shell that runs the program names it there too."""
    name = os.path.basename(arguments[0].replace(b"\\", b"/")).lower()
    return name == os.path.basename(program).lower().encode()


class ExitPeak:
    """Seizes a child with ptrace and waits for it, reading its peak resident memory
    when it stops on its way out. Every ptrace request has to come from the thread that
    seized, so the whole of it runs on a thread of its own while the caller feeds the
    child's standard input."""

    def __init__(self, process, program):
        self.process = process
        self.program = program
        self.peak_kib = None
        self.why_not = "the process never stopped on its way out"
        self.seized = threading.Event()
        self.thread = threading.Thread(target=self._trace)
        self.thread.start()
        self.seized.wait()

    def _trace(self):
        pid = self.process.pid
        try:
            if libc.ptrace(PTRACE_SEIZE, pid, None, PTRACE_O_TRACEEXIT) != 0:
                reason = os.strerror(ctypes.get_errno())
                # A zombie cannot be seized either.
                if os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
                    reason = "the program had ended"
                self.why_not = "ptrace could not seize the program: %s" % reason
        finally:
            self.seized.set()
        while True:
            _, status = os.waitpid(pid, 0)
            if not os.WIFSTOPPED(status):
                self.process.returncode = os.waitstatus_to_exitcode(status)
                return
            if status >> 8 == signal.SIGTRAP | PTRACE_EVENT_EXIT << 8:
                # Whatever the reading meets, the process must go on, or it never ends.
                try:
                    self._read(pid)
                except OSError as error:
                    self.why_not = "the program's /proc files could not be read: %s" % error
                libc.ptrace(PTRACE_CONT, pid, None, None)
            elif status >> 16:
                # Another ptrace event (a group stop): nothing to hand on.
                libc.ptrace(PTRACE_CONT, pid, None, None)
            else:
                libc.ptrace(PTRACE_CONT, pid, None, os.WSTOPSIG(status))

    def _read(self, pid):
        arguments = command_line(pid)
        if not is_program(arguments, self.program):
            self.why_not = "the process that the command started ended as %r, not as %s" % (
                b" ".join(arguments), self.program)
            return
        self.peak_kib = vm_hwm_kib(pid)
        self.why_not = None if self.peak_kib is not None else "the program's /proc status has no VmHWM"

    def wait(self):
        self.thread.join()


def streamed_run(command, args, feed_bytes, measure, chunk=1 << 20):
    """Runs command (the program last) with args and feed_bytes zero bytes on a pipe to
    its standard input. Returns its exit code, its output, and either the peak resident
    memory of its own process in KiB or None and why it was not read."""
    with tempfile.TemporaryFile() as out:
        process = subprocess.Popen(command + args, stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL,
                                   env=ENV)
        tracer = ExitPeak(process, command[-1]) if measure else None
        # A program that stops reading would block the feeding below for good.
        watchdog = threading.Timer(RUN_TIMEOUT_SECONDS, process.kill)
        watchdog.start()
        try:
            block = bytes(chunk)
            left = feed_bytes
            while left > 0:
                process.stdin.write(block[:min(left, chunk)])
                left -= chunk
        except BrokenPipeError:
            pass
        finally:
            try:
                process.stdin.close()
            except BrokenPipeError:
                pass
            if tracer:
                tracer.wait()
            else:
                process.wait()
            watchdog.cancel()
        out.seek(0)
        if tracer is None:
            return process.returncode, out.read(), None, "no peak was asked for"
        return process.returncode, out.read(), tracer.peak_kib, tracer.why_not


def sha256_of_zeros(size, chunk=1 << 20):
    digest = hashlib.sha256()
    block = bytes(chunk)
    for offset in range(0, size, chunk):
        digest.update(block[:min(chunk, size - offset)])
    return digest.hexdigest()


def raise_own_peak():
    """Raises this process's peak to OWN_PEAK_MIB, if it is not there yet, by touching
    memory and letting it go: the peak stays. Returns the peak in KiB."""
    if vm_hwm_kib(os.getpid()) < OWN_PEAK_MIB << 10:
        ballast = b"\x01" * (OWN_PEAK_MIB << 20)
        del ballast
    return vm_hwm_kib(os.getpid())


def test_reading_leaves_out_this_process():
    """coreutils' sha256sum, which takes a few MiB, read after this process peaked far
    higher: a reading that carried this process's peak fails here."""
    own_peak = raise_own_peak()
    size = 8 << 20
    code, out, peak, why_not = streamed_run(["sha256sum"], [], size, measure=True)
    check(code == 0 and out == (sha256_of_zeros(size) + "  -\n").encode(), "sha256sum of 8 MiB: %d %r" % (code, out))
    if peak is None:
        skip("the reading of a program's peak", why_not)
        return
    check(own_peak >= OWN_PEAK_MIB << 10 and peak < 32 << 10,
          "sha256sum's peak read as %d KiB while this process peaked at %d KiB" % (peak, own_peak))
    print("reference: sha256sum of 8 MiB peaked at %d KiB, read while this test peaked at %d KiB" % (peak, own_peak))


def test_bounded_memory():
    # The whole stream is never held: the peak stays far below the input's size.
    measure = not SANITIZED
    size = STREAM_MIB << 20
    code, out, peak, why_not = streamed_run(COMMAND, ["sha256"], size, measure)
    expected = sha256_of_zeros(size) + "  -\n"
    check(code == 0 and out == expected.encode(), "sha256 of %d MiB from a pipe: %d %r" % (STREAM_MIB, code, out))
    report_peak("sha256 of a %d MiB pipe" % STREAM_MIB, peak, why_not)

    size = (STREAM_MIB * 3 // 8) << 20
    code, out, peak, why_not = streamed_run(COMMAND, ["base64"], size, measure)
    _, expected, _ = gnu("base64", [], bytes(size))
    check(code == 0 and out == expected,
          "base64 of a %d MiB pipe: exit %d, %d bytes of text, GNU base64 %d" % (size >> 20, code, len(out),
                                                                               len(expected)))
    report_peak("base64 of a %d MiB pipe" % (size >> 20), peak, why_not)
    if measure:
        test_reading_leaves_out_this_process()


def report_peak(what, peak, why_not):
    if SANITIZED:
        skip("the peak memory of " + what, "a sanitizer's shadow memory and quarantine are not the program's")
    elif peak is None:
        skip("the peak memory of " + what, why_not)
    else:
        check(peak < PEAK_LIMIT_KIB, "%s peaked at %d KiB" % (what, peak))
        print("bounded memory: %s peaked at %d KiB" % (what, peak))


if __name__ == "__main__":
    sys.exit(run_area("memory", test_bounded_memory))
