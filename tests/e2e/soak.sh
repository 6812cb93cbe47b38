#!/usr/bin/env bash
# Soaks the unmodified locstr.exe on the vnic driver with vnet.exe: many
# location changes with a random mix of faults, from a seed it prints (not a
# unit test: it prints its figures, and exits 1 naming any violation). Builds
# what it needs in the windows build, runs in the driver's own Wine prefix and
# ends that prefix's wineserver afterwards.
# Usage: tests/e2e/soak.sh [changes] [seed]   (default 1000 changes, a new seed)
#        SOAK_SEED=<seed> tests/e2e/soak.sh ... replays a run's draws too.
. "$(dirname "$0")/../../tools/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="${LOCSTR_WINDOWS_BUILD:-$root/build/windows}"
cd "$root"
quiet bash tools/setup.sh
[ -f "$build/CMakeCache.txt" ] || quiet cmake --preset windows -B "$build"
quiet cmake --build "$build" -j "$(nproc)" --target vnic vnet locstr e2e_soak
export VNET_EXE="$build/virtualnet/vnet.exe" LOCSTR_EXE="$build/ui/locstr.exe"
args=(--changes "${1:-1000}")
[ -z "${2:-}" ] || args+=(--seed "$2")
exec bash "$here/in-driver-prefix.sh" "$build/driver/vnic.sys" \
  "$build/tests/win32/e2e_soak.exe" "${args[@]}"
