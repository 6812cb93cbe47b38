#!/usr/bin/env bash
# Test emulator for the windows build: runs one .exe under the project's Wine
# prefix. Wine hands stderr to helper processes that outlive the test, which
# would keep CTest's pipe open, so stderr goes to a file and is replayed.
# The exit status is the program's.
here=$(dirname "$0")
. "$here/lib.sh"
. "$here/wine-env.sh"
err=$(mktemp)
rc=0
"$WINE" "$@" 2>"$err" || rc=$?
# Wine's own lines are noise when the program succeeds, a clue when it fails.
if [ $rc -eq 0 ]; then
  grep -v -e '^wine: ' -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
else
  grep -v -e 'fixme:' "$err" >&2 || true # grep fails when it keeps no line
fi
rm -f "$err"
exit $rc
