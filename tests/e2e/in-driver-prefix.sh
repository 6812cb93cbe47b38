#!/usr/bin/env bash
# Runs one Windows program in the driver's own Wine prefix with vnic.sys
# installed and running, then ends that prefix's wineserver, so nothing is
# left behind. Usage: in-driver-prefix.sh path/to/vnic.sys program.exe [args...]
# Wine's helper processes inherit stderr, so it goes through files (CTest
# would otherwise wait on the open pipe).
. "$(dirname "$0")/../../tools/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../.."
. "$root/tools/vnic-env.sh"
sys="$1"
shift
log=$(mktemp)
err=$(mktemp)
cleanup() {
  # -k fails when the server has ended already.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  quiet "$WINESERVER" -w
  rm -f "$log" "$err"
}
locstr_at_exit cleanup
if ! bash "$root/tools/vnic-install.sh" "$sys" >"$log" 2>&1; then
  cat "$log" >&2
  echo "in-driver-prefix: the driver could not be installed" >&2
  exit 1
fi
rc=0
"$WINE" "$@" 2>"$err" </dev/null || rc=$?
# Wine's own lines are noise when the program succeeds, a clue when it fails.
if [ $rc -eq 0 ]; then
  grep -v -e '^wine: ' -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
else
  grep -v -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
fi
exit $rc
