#!/usr/bin/env bash
# Keeps the sources as the project's clang-format and clang-tidy want them:
# fails on the first file that is not formatted, or on any clang-tidy finding
# in the program's and the virtual network's sources (over the host build).
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
cd "$root"

echo "=== format: clang-format --dry-run -Werror"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror

echo "=== tidy: clang-tidy over the host build"
quiet cmake --preset host
tidy_log=$(mktemp)
locstr_at_exit 'rm -f "$tidy_log"'
# run-clang-tidy fails only when clang-tidy cannot run; findings are read from
# its output. Test sources are left out: GoogleTest's macros dominate them.
run-clang-tidy -p build/host -quiet -j "$(nproc)" \
  "^$root/(niaccess|messaging|platform|virtualnet|ui|batch)/" >"$tidy_log" 2>&1 ||
  locstr_die "tidy: clang-tidy could not run: $(tail -5 "$tidy_log")"
if grep -qE '(warning|error):' "$tidy_log"; then
  sed 's/\x1b\[[0-9;]*m//g' "$tidy_log" | grep -E '(warning|error):' >&2
  locstr_die "tidy: clang-tidy has findings (above)"
fi
echo "lint: format and tidy are clean"
