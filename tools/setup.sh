#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (only what is missing)
# and prepares the project's own Wine prefix. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

packages=(cmake ninja-build g++ clang libgtest-dev googletest
          g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 fonts-wine
          xvfb xauth imagemagick clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The project's Wine prefix: created once, with the null display driver (GUI
# tests need no X server), no crash dialog, and Wine's own fonts in place.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINEBOOT" -i >/dev/null 2>&1 || true
  "$WINESERVER" -w
fi
if [ ! -f "$WINEPREFIX/.locstr-ready" ]; then
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINESERVER" -k || true
  "$WINESERVER" -w || true
  touch "$WINEPREFIX/.locstr-ready"
fi
echo "setup: done"
