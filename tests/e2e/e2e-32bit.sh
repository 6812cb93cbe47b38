#!/usr/bin/env bash
# The end-to-end tests of the 64-bit build (e2e_test.exe, with vnic.sys and
# vnet.exe) operating a 32-bit locstr.exe, which runs under Wine's 32-bit
# half: as the NT family, and in Windows 98 mode, where it hands the driver
# its event. Usage: e2e-32bit.sh <windows preset build folder> <32-bit locstr.exe>
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
[ -f "$1/locstr-paths.sh" ] ||
  locstr_die "e2e-32bit: $1 is not built: build the windows preset first (cmake --build --preset windows)"
# shellcheck source=/dev/null
. "$1/locstr-paths.sh"
locstr_wine32_probe >/dev/null ||
  locstr_die "e2e-32bit: Wine's 32-bit loader does not run here: set up Wine's 32-bit half with: bash tools/setup.sh wine32"
export VNET_EXE LOCSTR_EXE="$2"
exec bash "$(dirname "$0")/../../tools/vnic.sh" exec "$VNIC_SYS" "$E2E_TEST_EXE"
