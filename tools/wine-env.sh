# Sourced by the scripts: where Wine is and how it is run for this project.
# Debian installs the commands as wine-stable etc. unless the alternatives are set.
pick() { for c in "$@"; do command -v "$c" >/dev/null 2>&1 && { echo "$c"; return; }; done; echo "$1"; }
WINE=$(pick wine wine-stable wine64)
WINESERVER=$(pick wineserver wineserver-stable /usr/lib/wine/wineserver)
WINEBOOT=$(pick wineboot wineboot-stable)
export WINE WINESERVER WINEBOOT
export WINEPREFIX="${LOCSTR_WINEPREFIX:-$HOME/.cache/locstr/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winealsa.drv,winepulse.drv=d;winhlp32.exe=d}"

# Creates $WINEPREFIX when missing and prepares it once: no crash dialog (a
# crash would otherwise hang in winedbg), Wine's own fonts in place, and the
# display driver given as $1 ("null" for tests; empty keeps Wine's X11 driver).
locstr_prepare_prefix() {
  local graphics="${1:-}"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINEBOOT" -i >/dev/null 2>&1 || true
    # A brand-new prefix must settle before it is changed further.
    "$WINESERVER" -w
  fi
  [ ! -f "$WINEPREFIX/.locstr-ready" ] || return 0
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  if [ -n "$graphics" ]; then
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d "$graphics" /f >/dev/null 2>&1
  fi
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # Stopping the server writes the registry to disk.
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  touch "$WINEPREFIX/.locstr-ready"
}
