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
# telvarn_register_i386_emulator, telvarn_qemu_version, telvarn_plan_32bit and
#     telvarn_windows_preset are described where they stand, below.
#
# Where the kernel runs no 32-bit code, 32-bit programs, 32-bit Wine's included,
# run under qemu-i386 10 or later; Wine there needs the trapno mend. TELVARN_NO_32BIT=1
# makes the scripts take the path of a host where 32-bit Windows programs cannot
# run (no 32-bit Wine; the 32-bit Linux tests only where the kernel or an emulator
# runs them), on any host. TELVARN_EMULATE_32BIT=1 makes scripts/setup.sh take the
# emulated path on a host whose kernel runs 32-bit code, to prove that path there;
# `echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386` undoes it.

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


# 32-bit Wine runs under qemu-i386 from this version on (earlier ones loop while
# ntdll reserves its address space).
telvarn_min_qemu_major=10
# Where scripts/setup.sh installs the trapno mend (scripts/i386-trapno-mend.c) that
# 32-bit Wine needs under qemu-i386; scripts/wine-env.sh has qemu preload it.
telvarn_trapno_mend=/usr/local/lib/i386-linux-gnu/telvarn-trapno-mend.so

# telvarn_qemu_version PROGRAM   prints the version of a qemu-i386 (10.0.2); fails
#     for any other program.
telvarn_qemu_version() {
  "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9][0-9.]*\).*/\1/p' | grep .
}

# telvarn_register_i386_emulator   mounts binfmt_misc if needed and registers
#     qemu-i386 (10 or later) for 32-bit x86 programs, in place of any other entry
#     for them. Only for a kernel that refuses them, or when asked to
#     (TELVARN_EMULATE_32BIT=1): the entry sends every 32-bit program, the kernel's
#     own included, to the emulator.
telvarn_register_i386_emulator() {
  local qemu version entry
  qemu=$(command -v qemu-i386-static || command -v qemu-i386) || return 1
  qemu=$(readlink -f "$qemu")
  version=$(telvarn_qemu_version "$qemu") || return 1
  (( ${version%%.*} >= telvarn_min_qemu_major )) || return 1
  if [[ ! -f $telvarn_binfmt/register ]]; then
    mount -t binfmt_misc binfmt_misc "$telvarn_binfmt" 2>/dev/null || return 1
  fi
  while read -r entry; do
    [[ -n $entry ]] || continue
    if [[ $(sed -n 's/^interpreter //p' "$entry") == "$qemu" ]]; then
      echo 1 >"$entry" 2>/dev/null || return 1
      return 0
    fi
    echo -1 >"$entry" 2>/dev/null || return 1
  done < <(telvarn_i386_entries)
  # F: the kernel opens the emulator now, so that it is found from any mount
  # namespace and any root.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >"$telvarn_binfmt/register" 2>/dev/null
}

# telvarn_plan_32bit   sets, for the scripts that run programs:
#   TELVARN_WIN32_SKIP     empty when 32-bit Windows programs run here under Wine,
#                          else why not;
#   TELVARN_WIN32_HOW      how they run: "natively" or "under emulation (qemu-i386
#                          VERSION)";
#   TELVARN_LINUX32_SKIP   empty when 32-bit Linux programs run here, else why not;
#   TELVARN_LINUX32_HOW    how they run, in the same words.
telvarn_plan_32bit() {
  local kernel=0 emulator qemu version=
  if telvarn_kernel_runs_i386; then kernel=1; fi
  emulator=$(telvarn_i386_emulator) || emulator=
  TELVARN_WIN32_SKIP=
  TELVARN_WIN32_HOW=
  TELVARN_LINUX32_SKIP=
  TELVARN_LINUX32_HOW=
  if [[ -n $emulator ]]; then
    qemu=$(sed -n 's/^interpreter //p' "$telvarn_binfmt/$emulator")
    if version=$(telvarn_qemu_version "$qemu"); then
      TELVARN_LINUX32_HOW="under emulation (qemu-i386 $version)"
    else
      TELVARN_LINUX32_HOW="under emulation ($qemu, the binfmt_misc entry $emulator)"
    fi
  elif (( kernel )); then
    TELVARN_LINUX32_HOW=natively
  else
    TELVARN_LINUX32_SKIP="this kernel runs no 32-bit x86 programs and no emulator is registered for them (scripts/setup.sh registers qemu-i386 when run as root)"
  fi
  if [[ ${TELVARN_NO_32BIT:-0} == 1 ]]; then
    TELVARN_WIN32_SKIP="TELVARN_NO_32BIT=1 takes the path of a host where 32-bit Windows programs cannot run"
  elif [[ -n $TELVARN_LINUX32_SKIP ]]; then
    TELVARN_WIN32_SKIP=$TELVARN_LINUX32_SKIP
  elif [[ ! -x /usr/lib/wine/wine ]]; then
    TELVARN_WIN32_SKIP="32-bit Wine (wine32:i386) is not installed (scripts/setup.sh installs it)"
  elif [[ -z $emulator ]]; then
    TELVARN_WIN32_HOW=natively
  elif [[ -z $version || ${version%%.*} -lt $telvarn_min_qemu_major ]]; then
    TELVARN_WIN32_SKIP="the binfmt_misc entry $emulator sends 32-bit programs to $qemu, and 32-bit Wine runs only under qemu-i386 $telvarn_min_qemu_major or later (scripts/setup.sh installs and registers one)"
  elif [[ ! -f $telvarn_trapno_mend ]]; then
    TELVARN_WIN32_SKIP="32-bit Wine under qemu-i386 needs $telvarn_trapno_mend, which scripts/setup.sh builds"
  else
    TELVARN_WIN32_HOW=$TELVARN_LINUX32_HOW
  fi
  export TELVARN_WIN32_SKIP TELVARN_WIN32_HOW TELVARN_LINUX32_SKIP TELVARN_LINUX32_HOW
}

# telvarn_windows_preset   prints the Windows preset whose programs the scripts run
#     here: win32 where 32-bit Windows programs run, natively or under emulation,
#     win64 elsewhere (call telvarn_plan_32bit first).
telvarn_windows_preset() {
  if [[ -z $TELVARN_WIN32_SKIP ]]; then echo win32; else echo win64; fi
}
