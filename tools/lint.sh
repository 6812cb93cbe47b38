#!/usr/bin/env bash
# Keeps the sources as the project's clang-format and clang-tidy want them,
# and the scripts as shellcheck wants them (.shellcheckrc): fails on the first
# file that is not formatted, on any shellcheck finding, or on any clang-tidy
# finding in the program's and the virtual network's sources (over the host
# build).
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

echo "=== format: clang-format --dry-run -Werror"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror

echo "=== scripts: shellcheck"
git ls-files -z '*.sh' .ci/run | xargs -0 shellcheck

echo "=== tidy: clang-tidy over the host build"
quiet cmake --preset host
tidy_log=$(mktemp)
locstr_at_exit "rm -f $(printf %q "$tidy_log")"
# run-clang-tidy fails only when clang-tidy cannot run; findings are read from
# its output. Test sources are left out: GoogleTest's macros dominate them.
run-clang-tidy -p build/host -quiet -j "$(nproc)" \
  "^$root/(niaccess|messaging|platform|virtualnet|ui|batch)/" >"$tidy_log" 2>&1 ||
  locstr_die "tidy: clang-tidy could not run: $(tail -5 "$tidy_log")"
if grep -qE '(warning|error):' "$tidy_log"; then
  sed 's/\x1b\[[0-9;]*m//g' "$tidy_log" | grep -E '(warning|error):' >&2
  locstr_die "tidy: clang-tidy has findings (above)"
fi
echo "lint: format, scripts and tidy are clean"
