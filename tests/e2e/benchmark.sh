#!/usr/bin/env bash
# Prints the benchmark of locstr.exe's own latency on the vnic driver (not a
# test). Builds what it needs in the windows build, runs in the driver's own
# Wine prefix and ends that prefix's wineserver afterwards.
# Usage: tests/e2e/benchmark.sh [changes]   (default 120)
. "$(dirname "$0")/../../tools/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="${LOCSTR_WINDOWS_BUILD:-$root/build/windows}"
cd "$root"
quiet bash tools/setup.sh
[ -f "$build/CMakeCache.txt" ] || quiet cmake --preset windows -B "$build"
quiet cmake --build "$build" -j "$(nproc)" --target vnic vnet locstr e2e_benchmark
export VNET_EXE="$build/virtualnet/vnet.exe" LOCSTR_EXE="$build/ui/locstr.exe"
exec bash "$here/in-driver-prefix.sh" "$build/driver/vnic.sys" \
  "$build/tests/win32/e2e_benchmark.exe" "${1:-120}"
