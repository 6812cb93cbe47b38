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
