#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, only what is missing
# (so once everything is there it needs no root), and prepares the project's
# own Wine prefix. Safe to run again.
#   tools/setup.sh          what the builds, the 64-bit tests and the demo need;
#                           never touches Wine's 32-bit half
#   tools/setup.sh wine32   that, and Wine's 32-bit half for the tests of the
#                           32-bit program (tools/wine32-setup.sh)
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
case "${1:-}" in
  "" | wine32) ;;
  *) locstr_die "usage: tools/setup.sh [wine32]" ;;
esac

packages=(cmake ninja-build g++ clang libgtest-dev googletest
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 wine wine64 fonts-wine
          xvfb xauth imagemagick clang-format clang-tidy clang-14 libclang-rt-14-dev
          python3 shellcheck)
locstr_install_missing setup "${packages[@]}"
if [ "${1:-}" = wine32 ]; then
  bash "$here/wine32-setup.sh"
else
  # Wine's 32-bit half, installed but not running (a reboot ends qemu's
  # registration where it is needed): said, and left alone.
  locstr_wine32_hint
fi

# The project's Wine prefix, with the null display driver: GUI tests need no
# X server.
locstr_prepare_prefix null
echo "setup: done"
