#!/usr/bin/env bash
# Test emulator for the windows build: runs one .exe under the project's Wine
# prefix. Wine hands stderr to helper processes that outlive the test, which
# would keep CTest's pipe open, so stderr goes to a file and is replayed.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
err=$(mktemp)
"$WINE" "$@" 2>"$err"
rc=$?
grep -v -e '^wine: ' -e 'fixme:' "$err" >&2 || true
rm -f "$err"
exit $rc
