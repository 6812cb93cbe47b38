#!/usr/bin/env bash
# The end-to-end tests of the 64-bit build (e2e_test.exe, with vnic.sys and
# vnet.exe) operating a 32-bit locstr.exe, which runs under Wine's 32-bit
# half: as the NT family, and in Windows 98 mode, where it hands the driver
# its event. Usage: e2e-32bit.sh <windows preset build folder> <32-bit locstr.exe>
. "$(dirname "$0")/../../tools/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$1
locstr=$2
for f in driver/vnic.sys virtualnet/vnet.exe tests/win32/e2e_test.exe; do
  [ -f "$build/$f" ] ||
    locstr_die "e2e-32bit: $build/$f is missing: build the windows preset first (cmake --build --preset windows)"
done
WINEDEBUG=-all /usr/lib/wine/wine --version >/dev/null 2>&1 ||
  locstr_die "e2e-32bit: Wine's 32-bit loader does not run here: set up Wine's 32-bit half with: bash tools/setup.sh wine32"
export VNET_EXE="$build/virtualnet/vnet.exe" LOCSTR_EXE="$locstr"
exec bash "$here/in-driver-prefix.sh" "$build/driver/vnic.sys" "$build/tests/win32/e2e_test.exe"
