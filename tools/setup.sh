#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (only what is missing)
# and prepares the project's own Wine prefix. Safe to run again.
#   tools/setup.sh          what the builds, the 64-bit tests and the demo need
#   tools/setup.sh wine32   that, and Wine's 32-bit half for the tests of the
#                           32-bit program (tools/test.sh asks for it)
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

packages=(cmake ninja-build g++ clang libgtest-dev googletest
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 wine wine64 fonts-wine
          xvfb xauth imagemagick clang-format clang-tidy clang-14 libclang-rt-14-dev
          python3)
locstr_install_missing setup "${packages[@]}"

case "${1:-}" in
  wine32) bash "$here/wine32-setup.sh" ;;
  # Once Wine's 32-bit half is installed, Wine wants its loader to run for
  # some 64-bit programs too (seen: the 64-bit program in Windows 98 mode), and
  # qemu's registration for it is lost at every reboot.
  "") [ "$(locstr_wine32_installed)" = no ] || bash "$here/wine32-setup.sh" ;;
  *) locstr_die "usage: tools/setup.sh [wine32]" ;;
esac

# The project's Wine prefix, with the null display driver: GUI tests need no
# X server.
locstr_prepare_prefix null
echo "setup: done"
