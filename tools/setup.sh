#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (only what is missing)
# and prepares the project's own Wine prefix. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

packages=(cmake ninja-build g++ clang libgtest-dev googletest
          g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
          xvfb xauth imagemagick clang-format clang-14 libclang-rt-14-dev)
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

# The project's Wine prefix, with the null display driver: GUI tests need no
# X server.
locstr_prepare_prefix null
echo "setup: done"
