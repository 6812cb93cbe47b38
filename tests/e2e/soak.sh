#!/usr/bin/env bash
# Soaks the unmodified locstr.exe on the vnic driver with vnet.exe: many
# location changes with a random mix of faults, from a seed it prints (not a
# unit test: it prints its figures, and exits 1 naming any violation). Builds
# what it needs in the windows build, runs in the driver's own Wine prefix and
# ends that prefix's wineserver afterwards.
# Usage: tests/e2e/soak.sh [changes] [seed]   (default 1000 changes, a new seed)
#        SOAK_SEED=<seed> tests/e2e/soak.sh ... replays a run's draws too.
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
locstr_windows_build vnic vnet locstr e2e_soak
args=(--changes "${1:-1000}")
[ -z "${2:-}" ] || args+=(--seed "$2")
exec bash "$(dirname "$0")/../../tools/vnic.sh" exec "$VNIC_SYS" "$E2E_SOAK_EXE" "${args[@]}"
