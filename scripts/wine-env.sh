# The Wine set-up of every Windows program run here; sourced by the scripts and by wine-run.sh.
#
# telvarn_wine_env ARCH   (win32 or win64) exports, for ARCH's programs:
#   TELVARN_WINE      the loader that runs them: Debian puts the 32-bit one at
#                     /usr/lib/wine/wine and the 64-bit one at /usr/lib/wine/wine64,
#                     and /usr/bin/wine picks the 32-bit one whenever it is installed,
#                     so each architecture names its own;
#   WINEPREFIX        a prefix of this checkout's own per architecture, under
#                     build/wine (TELVARN_WINE_PREFIXES moves them): a 32-bit
#                     prefix cannot run 64-bit programs, and a 64-bit one starts
#                     32-bit helpers that a host without 32-bit code never finishes;
#   WINEARCH, WINEDEBUG (no debug chatter) and WINEDLLOVERRIDES (no prompts to
#   install Mono or Gecko in a new prefix);
#   QEMU_SET_ENV      for win32 where the trapno mend is installed: qemu-i386, when
#                     binfmt_misc sends 32-bit Wine to it, preloads the mend into
#                     each emulated process (and no other: a program the kernel runs
#                     itself never reads the variable).
# telvarn_wine_ready [SECONDS]
#                         makes the exported prefix if it has none yet and, when no
#                         Wine server runs for it, starts one with Wine's services up,
#                         which stays SECONDS after its last program (no SECONDS: until
#                         stopped). Safe to call from programs started side by side.
# telvarn_wine_server_stop
#                         ends the exported prefix's server and its programs.

telvarn_wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$telvarn_wine_root/scripts/host-32bit.sh"

telvarn_wine_env() {
  local arch=$1
  case $arch in
    win32)
      if [[ -x /usr/lib/wine/wine ]]; then TELVARN_WINE=/usr/lib/wine/wine; else TELVARN_WINE=wine; fi
      if [[ -f $telvarn_trapno_mend ]]; then export QEMU_SET_ENV=LD_PRELOAD=$telvarn_trapno_mend; fi
      ;;
    win64)
      if [[ -x /usr/lib/wine/wine64 ]]; then
        TELVARN_WINE=/usr/lib/wine/wine64
      elif command -v wine64 >/dev/null; then
        TELVARN_WINE=wine64
      else
        TELVARN_WINE=wine
      fi
      ;;
    *)
      echo "wine-env: no architecture '$arch' (win32 or win64)" >&2
      return 2
      ;;
  esac
  export TELVARN_WINE
  export WINEPREFIX="${TELVARN_WINE_PREFIXES:-$telvarn_wine_root/build/wine}/$arch"
  export WINEARCH=$arch
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# wineboot writes system.reg last. Making a 64-bit prefix may leave a helper
# running that never ends (it waits for 32-bit code), so the waits are bounded and
# the prefix is taken once its registry is there. A new server starts Wine's
# services (services.exe, plugplay, rpcss, ...) with its first program, and two
# programs started side by side before they are up can hang for good: wineboot
# brings them up first, alone. What Wine starts here must not inherit the lock's
# descriptor: a server holding it would hold the lock for its whole life.
telvarn_wine_ready() {
  local persist=${1:-}
  mkdir -p "$(dirname "$WINEPREFIX")"
  if ! (
    flock 9
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
      timeout 180 "$TELVARN_WINE" wineboot --init >/dev/null 2>&1 9>&-
      for _ in $(seq 60); do
        [[ -f $WINEPREFIX/system.reg ]] && break
        sleep 1
      done
      # The set-up's own server goes, so that the one started below is the one
      # that stays.
      timeout 60 wineserver -w >/dev/null 2>&1 9>&- || wineserver -k >/dev/null 2>&1 9>&-
    fi
    [[ -f $WINEPREFIX/system.reg ]] || exit 1
    if ! wineserver -k0 >/dev/null 2>&1; then
      wineserver "-p$persist" >/dev/null 2>&1 9>&-
      timeout 120 "$TELVARN_WINE" wineboot >/dev/null 2>&1 9>&-
    fi
    exit 0
  ) 9>"$WINEPREFIX.lock"; then
    echo "wine-env: could not make the Wine prefix $WINEPREFIX with $TELVARN_WINE" >&2
    return 1
  fi
}

telvarn_wine_server_stop() {
  wineserver -k >/dev/null 2>&1 || true
}
