#!/usr/bin/env bash
# Runs one Windows test program at another display scale: in a Wine prefix of
# its own beside the project's (null display driver, LogPixels = DPI), made
# once, whose wineserver is ended afterwards. The program finds the DPI it
# was meant to run at in LOCSTR_TEST_DPI. Usage: at-dpi.sh DPI program.exe [args...]
# Wine's helper processes inherit stderr, so it goes through a file (CTest
# would otherwise wait on the open pipe).
. "$(dirname "$0")/../../tools/lib.sh"
. "$(dirname "$0")/../../tools/wine-env.sh"
dpi=$1
shift
export WINEPREFIX="$WINEPREFIX-${dpi}dpi"
locstr_prepare_prefix null locstr_display_scale "$dpi"
export LOCSTR_TEST_DPI=$dpi
err=$(mktemp)
cleanup() {
  # -k fails when the server has ended already.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  quiet "$WINESERVER" -w
  rm -f "$err"
}
locstr_at_exit cleanup
rc=0
"$WINE" "$@" 2>"$err" </dev/null || rc=$?
# Wine's own lines are noise when the program succeeds, a clue when it fails.
if [ $rc -eq 0 ]; then
  grep -v -e '^wine: ' -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
else
  grep -v -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
fi
exit $rc
