# What this host does with 32-bit x86 programs; sourced by the scripts that install, build, test or bench.
#
# telvarn_kernel_runs_i386   succeeds when the kernel itself runs a 32-bit x86
#     program. The kernel offers a program to the binfmt_misc handlers before its
#     own ELF loader, so while an i386 entry (qemu-i386) is enabled every 32-bit
#     program, this probe's included, would run through the emulator: the probe
#     turns such entries off while it runs (root only; without root it cannot
#     tell, and answers no).
# telvarn_i386_emulator      prints the name of an enabled binfmt_misc entry that
#     sends 32-bit x86 programs to an emulator; fails when there is none.
# telvarn_register_i386_emulator   mounts binfmt_misc if needed and registers
#     qemu-i386 for 32-bit x86 programs. Only for a kernel that refuses them: on a
#     kernel that runs them, the entry would send 32-bit Wine through the emulator,
#     where it does not work.
#
# TELVARN_NO_32BIT=1 makes the scripts take the path of a host that runs no 32-bit
# code (no 32-bit Wine; the 32-bit Linux tests only where the kernel or an
# emulator runs them), on any host.

telvarn_binfmt=/proc/sys/fs/binfmt_misc

# Entries whose magic is a 32-bit little-endian ELF for machine 3 (i386) or 6 (i486),
# the two the kernel's own loader takes.
telvarn_i386_entries() {
  local entry magic
  [[ -d $telvarn_binfmt ]] || return 0
  for entry in "$telvarn_binfmt"/*; do
    [[ -f $entry && $entry != */register && $entry != */status ]] || continue
    magic=$(sed -n 's/^magic //p' "$entry" 2>/dev/null)
    if [[ $magic == 7f454c460101* && (${magic:36:4} == 0300 || ${magic:36:4} == 0600) ]]; then
      echo "$entry"
    fi
  done
}

telvarn_i386_emulator() {
  local entry
  while read -r entry; do
    if [[ -n $entry ]] && head -n 1 "$entry" 2>/dev/null | grep -qx enabled; then
      basename "$entry"
      return 0
    fi
  done < <(telvarn_i386_entries)
  return 1
}

# A 32-bit x86 ELF program of 96 bytes that exits with status 42: ELF header,
# one loadable segment at 0x08048000, then mov eax, 1; mov ebx, 42; int 0x80.
telvarn_write_i386_probe() {
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$1"
  chmod +x "$1"
}

telvarn_kernel_runs_i386() {
  local probe status entry disabled=()
  probe=$(mktemp "${TMPDIR:-/tmp}/telvarn-i386-probe.XXXXXX") || return 1
  telvarn_write_i386_probe "$probe"
  while read -r entry; do
    [[ -n $entry ]] || continue
    if head -n 1 "$entry" | grep -qx enabled; then
      if ! echo 0 >"$entry" 2>/dev/null; then
        echo "host-32bit: cannot turn off the binfmt_misc entry $(basename "$entry") to probe the kernel (not root)" >&2
        for entry in "${disabled[@]}"; do echo 1 >"$entry"; done
        rm -f "$probe"
        return 1
      fi
      disabled+=("$entry")
    fi
  done < <(telvarn_i386_entries)
  "$probe" 2>/dev/null
  status=$?
  for entry in "${disabled[@]}"; do echo 1 >"$entry"; done
  rm -f "$probe"
  [[ $status -eq 42 ]]
}

telvarn_register_i386_emulator() {
  local qemu
  qemu=$(command -v qemu-i386-static) || return 1
  if [[ ! -f $telvarn_binfmt/register ]]; then
    mount -t binfmt_misc binfmt_misc "$telvarn_binfmt" 2>/dev/null || return 1
  fi
  if [[ -f $telvarn_binfmt/qemu-i386 ]]; then
    echo 1 >"$telvarn_binfmt/qemu-i386" 2>/dev/null || return 1
    return 0
  fi
  # F: the kernel opens the emulator now, so that it is found from any mount
  # namespace and any root.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >"$telvarn_binfmt/register" 2>/dev/null
}

# telvarn_plan_32bit   sets, for the scripts that run programs:
#   TELVARN_WIN32_SKIP     empty when 32-bit Windows programs run here under Wine,
#                          else why not;
#   TELVARN_LINUX32_SKIP   empty when 32-bit Linux programs run here, else why not;
#   TELVARN_LINUX32_HOW    how they run: natively or under an emulator.
telvarn_plan_32bit() {
  local kernel=0 emulator
  if telvarn_kernel_runs_i386; then kernel=1; fi
  emulator=$(telvarn_i386_emulator) || emulator=
  TELVARN_WIN32_SKIP=
  TELVARN_LINUX32_SKIP=
  if [[ ${TELVARN_NO_32BIT:-0} == 1 ]]; then
    TELVARN_WIN32_SKIP="TELVARN_NO_32BIT=1 takes the path of a host without 32-bit code"
  elif (( !kernel )); then
    TELVARN_WIN32_SKIP="this kernel runs no 32-bit x86 programs (Exec format error), and 32-bit Wine does not run under emulation"
  elif [[ -n $emulator ]]; then
    TELVARN_WIN32_SKIP="the binfmt_misc entry $emulator sends 32-bit programs, 32-bit Wine's included, to an emulator where Wine does not run"
  elif [[ ! -x /usr/lib/wine/wine ]]; then
    TELVARN_WIN32_SKIP="32-bit Wine (wine32:i386) is not installed"
  fi
  if [[ -n $emulator ]]; then
    TELVARN_LINUX32_HOW="under the emulator of the binfmt_misc entry $emulator"
  elif (( kernel )); then
    TELVARN_LINUX32_HOW="natively"
  else
    TELVARN_LINUX32_SKIP="this kernel runs no 32-bit x86 programs and no emulator is registered for them (scripts/setup.sh registers qemu-i386 when run as root)"
  fi
  export TELVARN_WIN32_SKIP TELVARN_LINUX32_SKIP TELVARN_LINUX32_HOW
}

# telvarn_windows_preset   prints the Windows preset whose programs the scripts run
#     here: win32 where 32-bit Windows programs run, win64 elsewhere (call
#     telvarn_plan_32bit first).
telvarn_windows_preset() {
  if [[ -z $TELVARN_WIN32_SKIP ]]; then echo win32; else echo win64; fi
}
