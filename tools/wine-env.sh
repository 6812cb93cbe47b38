# shellcheck shell=bash
# Sourced by the scripts: where Wine is and how it is run for this project.
# shellcheck source=lib.sh
[ -n "${_locstr_lib_loaded:-}" ] || . "${BASH_SOURCE[0]%/*}/lib.sh"
# Debian installs the commands as wine-stable etc. unless the alternatives are
# set. WINE and WINESERVER already in the environment are kept.
pick() { for c in "$@"; do command -v "$c" >/dev/null 2>&1 && { echo "$c"; return; }; done; echo "$1"; }
# Once Wine's 32-bit half (wine32:i386) is installed, Debian's wine command
# starts every program with the 32-bit loader, which needs a kernel that runs
# 32-bit programs (some machines have that switched off) or qemu's user
# emulation. Debian's 64-bit loader, run directly, starts 64-bit programs
# without either; WINELOADER names it for the programs they start, and Wine
# derives the 32-bit loader from it for a 32-bit program.
if [ -z "${WINE:-}" ] && [ -x /usr/lib/wine/wine64 ]; then
  WINE=/usr/lib/wine/wine64
  export WINELOADER=${WINELOADER:-$WINE}
fi
WINE=${WINE:-$(pick wine wine-stable wine64)}
WINESERVER=${WINESERVER:-$(pick wineserver wineserver-stable /usr/lib/wine/wineserver)}
export WINE WINESERVER
export WINEPREFIX="${LOCSTR_WINEPREFIX:-$HOME/.cache/locstr/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winealsa.drv,winepulse.drv=d;winhlp32.exe=d}"

# "yes" when Wine's 32-bit half (Debian's wine32:i386) is installed. Debian's
# wine command then starts every program with the 32-bit loader, and new
# prefixes get a 32-bit system as well (WoW64).
locstr_wine32_installed() {
  local status
  # dpkg-query fails for a package it does not know (no i386 architecture).
  status=$(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null) || status=""
  if [ "$status" = "install ok installed" ]; then echo yes; else echo no; fi
}

# Runs Wine's 32-bit loader once: its status says whether it runs, its output
# (with the shell's message when it cannot be executed at all) why not.
LOCSTR_WINE32_LOADER=/usr/lib/wine/wine
locstr_wine32_probe() { WINEDEBUG=-all "$LOCSTR_WINE32_LOADER" --version 2>&1; }

# Says what to do when wine32 is installed but its loader does not run (Wine
# then fails to make a prefix).
locstr_wine32_hint() {
  [ "$(locstr_wine32_installed)" = no ] || locstr_wine32_probe >/dev/null ||
    echo "Wine's 32-bit half is installed, but its loader does not run here (on a kernel that" \
      "runs no 32-bit programs, qemu's registration is lost at a reboot): as root, run" \
      "bash tools/setup.sh wine32" >&2
}

# Ends the prefix's wineserver, if one runs, and waits until it has gone
# (which writes the registry to disk).
locstr_wineserver_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  quiet "$WINESERVER" -w
}

# Runs a Windows program, its status the program's. Wine hands its stderr to
# helper processes that outlive it, which would keep a caller's pipe (CTest's)
# open: it goes to a file and is replayed without Wine's fixme lines, and
# without its "wine:" lines when the program succeeded.
locstr_wine_run() {
  local err rc=0 drop=(-e fixme:)
  err=$(mktemp)
  "$WINE" "$@" 2>"$err" </dev/null || rc=$?
  [ "$rc" -ne 0 ] || drop+=(-e '^wine: ')
  grep -v "${drop[@]}" "$err" >&2 || true # grep fails when it keeps no line
  rm -f "$err"
  return "$rc"
}

# Sets up, builds the named targets of the windows preset (in
# LOCSTR_WINDOWS_BUILD, else build/windows) and exports where the build put its
# programs (its locstr-paths.sh: LOCSTR_EXE, VNIC_SYS, ...).
locstr_windows_build() {
  local root build
  root=$(cd "${BASH_SOURCE[0]%/*}/.." && pwd)
  build=${LOCSTR_WINDOWS_BUILD:-$root/build/windows}
  quiet bash "$root/tools/setup.sh"
  echo "building $* in $build"
  [ -f "$build/CMakeCache.txt" ] || quiet cmake -S "$root" --preset windows -B "$build"
  quiet cmake --build "$build" -j "$(nproc)" --target "$@"
  set -a
  # shellcheck source=/dev/null
  . "$build/locstr-paths.sh"
  set +a
}

# Makes $WINEPREFIX ready for the project, once: a new 64-bit prefix with no
# crash dialog (a crash would otherwise hang in winedbg), Wine's own fonts in
# place, the display driver given as $1 ("null" for tests; empty keeps Wine's
# X11 driver), and then what the optional command in $2... adds to it.
# The marker .locstr-ready, written last, records what the prefix was made for
# (the display driver, the command, whether wine32 was installed). A prefix
# without that marker, or made for something else, is removed and made again
# from scratch; a prefix whose making fails is removed before the script ends.
# Scripts that start together make a prefix one after the other (a lock on the
# folder that holds the prefixes), so none removes what another is making.
locstr_prepare_prefix() {
  local graphics=$1 want have="" lock
  shift
  want="graphics=${graphics:-x11} wine32=$(locstr_wine32_installed)${*:+ setup=$*}"
  [ ! -f "$WINEPREFIX/.locstr-ready" ] || have=$(<"$WINEPREFIX/.locstr-ready")
  [ "$have" != "$want" ] || return 0

  mkdir -p "$(dirname "$WINEPREFIX")"
  exec {lock}<"$(dirname "$WINEPREFIX")"
  if ! flock -n "$lock"; then
    echo "waiting for another script that is making a Wine prefix in $(dirname "$WINEPREFIX")"
    flock "$lock"
  fi
  have=""
  [ ! -f "$WINEPREFIX/.locstr-ready" ] || have=$(<"$WINEPREFIX/.locstr-ready")
  if [ "$have" = "$want" ]; then
    exec {lock}<&-
    return 0
  fi
  if [ -e "$WINEPREFIX" ]; then
    _locstr_check_prefix "$WINEPREFIX"
    # Left half-made, made by an earlier version of this script, or for something else.
    echo "Wine prefix $WINEPREFIX was made for \"${have:-(unknown)}\", not \"$want\": making it again"
    _locstr_remove_prefix "$WINEPREFIX"
  fi
  echo "creating Wine prefix $WINEPREFIX"
  locstr_at_exit "_locstr_remove_unready_prefix $(printf %q "$WINEPREFIX")"
  mkdir -p "$WINEPREFIX"
  quiet "$WINE" wineboot -i
  # A brand-new prefix must settle before it is changed further.
  quiet "$WINESERVER" -w
  grep -q '^#arch=win64' "$WINEPREFIX/system.reg" ||
    locstr_die "wineboot made $WINEPREFIX, but not as a 64-bit prefix (WINEARCH=win64 is set)"
  quiet "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  if [ -n "$graphics" ]; then
    quiet "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d "$graphics" /f
  fi
  compgen -G '/usr/share/wine/fonts/*.ttf' >/dev/null ||
    locstr_die "Wine's fonts are missing (/usr/share/wine/fonts/*.ttf): install fonts-wine (bash tools/setup.sh does)"
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  [ $# -eq 0 ] || "$@"
  locstr_wineserver_stop
  echo "$want" >"$WINEPREFIX/.locstr-ready"
  exec {lock}<&-
}

# Sets the display scale of $WINEPREFIX to $1 DPI (96 = 100 %, 144 = 150 %,
# 192 = 200 %) where Wine reads it; programs started after the prefix's
# wineserver has ended see it. For locstr_prepare_prefix's setup command.
locstr_display_scale() {
  quiet "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
  quiet "$WINE" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$1" /f
}

# Stops the script when $1 is neither empty nor a Wine prefix (a mistaken
# prefix variable): such a directory is never removed.
_locstr_check_prefix() {
  if [ -n "$(ls -A "$1")" ] && [ ! -e "$1/system.reg" ] &&
     [ ! -e "$1/drive_c" ] && [ ! -e "$1/dosdevices" ]; then
    locstr_die "$1 is not a Wine prefix; not removing it (point the prefix variable elsewhere)"
  fi
}

# Removes a prefix, after ending its wineserver.
_locstr_remove_prefix() {
  _locstr_check_prefix "$1"
  WINEPREFIX=$1 locstr_wineserver_stop
  rm -rf "$1"
}

# At the end of a script that began making a prefix: removes it unless it was
# finished, so no half-made prefix stays behind.
_locstr_remove_unready_prefix() {
  [ -d "$1" ] && [ ! -f "$1/.locstr-ready" ] || return 0
  _locstr_remove_prefix "$1"
  echo "removed the half-made Wine prefix $1" >&2
  locstr_wine32_hint
}
