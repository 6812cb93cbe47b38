#!/usr/bin/env bash
# Runs one Windows program in the driver's own Wine prefix with vnic.sys
# installed and running, then ends that prefix's wineserver, so nothing is
# left behind. Usage: in-driver-prefix.sh path/to/vnic.sys program.exe [args...]
# Wine's helper processes inherit stderr, so it goes through files (CTest
# would otherwise wait on the open pipe).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../.."
. "$root/tools/vnic-env.sh"
sys="$1"
shift
log=$(mktemp)
err=$(mktemp)
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  rm -f "$log" "$err"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
if ! bash "$root/tools/vnic-install.sh" "$sys" >"$log" 2>&1; then
  cat "$log" >&2
  echo "in-driver-prefix: the driver could not be installed" >&2
  exit 1
fi
"$WINE" "$@" 2>"$err" </dev/null
rc=$?
grep -v -e '^wine: ' -e 'fixme:' "$err" >&2 || true
exit $rc
