#!/usr/bin/env bash
# The end-to-end tests of the 64-bit build (with vnic.sys and vnet.exe)
# operating a 32-bit program, which runs under Wine's 32-bit half: as the NT
# family, and in Windows 98 mode, where it hands the driver its event.
# Usage: e2e-32bit.sh <windows preset build folder> <32-bit program> [TEST PROGRAM]
#   TEST     the test's variable in the build's locstr-paths.sh (E2E_TEST_EXE)
#   PROGRAM  the variable that names the program to the test (LOCSTR_EXE)
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
[ -f "$1/locstr-paths.sh" ] ||
  locstr_die "e2e-32bit: $1 is not built: build the windows preset first (cmake --build --preset windows)"
# shellcheck source=/dev/null
. "$1/locstr-paths.sh"
locstr_wine32_probe >/dev/null ||
  locstr_die "e2e-32bit: Wine's 32-bit loader does not run here: set up Wine's 32-bit half with: bash tools/setup.sh wine32"
test_variable=${3:-E2E_TEST_EXE}
test_exe=${!test_variable:-}
[ -n "$test_exe" ] || locstr_die "e2e-32bit: $1 has no $test_variable: build it (cmake --build --preset windows)"
export VNET_EXE "${4:-LOCSTR_EXE}=$2"
exec bash "$(dirname "$0")/../../tools/vnic.sh" exec "$VNIC_SYS" "$test_exe"
