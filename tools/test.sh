#!/usr/bin/env bash
# Sets up (when needed), checks format, tidy and the scripts, builds every
# build and runs every test:
#   tools/test.sh                  lint, host, host-asan, host-tsan, fuzz, windows,
#                                  windows32
#   tools/test.sh host windows     only the steps named
# Each step runs in a process of its own: one that fails ends there, the others
# still run, and the run ends non-zero naming the failed ones. windows32 needs
# Wine's 32-bit half, set up first; when that fails, windows32 fails with the
# reason and the repair. The fuzz step runs every fuzz target briefly from its
# seeds (LOCSTR_FUZZ_SECONDS each, 20 by default).
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
cd "$(dirname "$0")/.."
all=(lint host host-asan host-tsan fuzz windows windows32)

# The host's GoogleTest executables once more, each as one process with its
# tests in a random order: a test that depends on another's leftovers fails.
# The seed is printed, so a failing order can be replayed with
# --gtest_shuffle --gtest_random_seed=N; each run is bounded like a CTest test.
shuffled_run() {
  local exe rc seed=${LOCSTR_SHUFFLE_SEED:-$((RANDOM % 99999 + 1))}
  echo "=== shuffled rerun of $1/tests/host, seed $seed"
  for exe in "$1"/tests/host/*_test; do
    rc=0
    timeout 300 "$exe" --gtest_shuffle --gtest_random_seed="$seed" --gtest_brief=1 \
      >"$1/shuffled.log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || { tail -30 "$1/shuffled.log"; locstr_die "shuffled run of ${exe##*/} (seed $seed) failed (status $rc; 124: not ended within 300 s)"; }
  done
}

step() {
  case $1 in
    lint) exec bash tools/lint.sh ;;
    fuzz) exec bash tools/fuzz.sh "${LOCSTR_FUZZ_SECONDS:-20}" ;;
  esac
  # shellcheck source=wine-env.sh
  . tools/wine-env.sh
  echo "=== $1: configure and build"
  if [ "$1" = windows32 ]; then
    # Its end-to-end test operates the 32-bit program with the 64-bit build's
    # tests, driver and network process.
    quiet cmake --preset windows
    cmake --build --preset windows -j "$(nproc)" --target vnic vnet e2e_test batch_e2e_test
  fi
  quiet cmake --preset "$1"
  cmake --build --preset "$1" -j "$(nproc)"
  echo "=== $1: test"
  if [ "$1" = windows ]; then
    # A persistent wineserver makes each test's start fast (the end-to-end
    # tests keep their own, in the driver's prefix).
    locstr_wineserver_stop
    "$WINESERVER" -p
    locstr_at_exit locstr_wineserver_stop
  fi
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ctest --preset "$1" -j "$(nproc)" --timeout 300 --no-tests=error
  [ "${1#windows}" != "$1" ] || shuffled_run "build/$1"
}
if [ "${1:-}" = --step ]; then
  step "$2"
  exit 0
fi

steps=("${@:-${all[@]}}")
for s in "${steps[@]}"; do
  [[ " ${all[*]} " == *" $s "* ]] || locstr_die "usage: tools/test.sh [${all[*]}]..."
done
# Wine's 32-bit half before the Wine prefix is made (a prefix made with it
# differs). Its message says "wine32-setup: failed: <what>" and "repair: <how>",
# or names the command that failed.
wine32=""
if [[ " ${steps[*]} " == *" windows32 "* ]]; then
  echo "=== windows32: Wine's 32-bit half"
  log=$(mktemp)
  locstr_at_exit "rm -f $(printf %q "$log")"
  bash tools/wine32-setup.sh 2>&1 | tee "$log" ||
    wine32="$(grep -E ': failed' "$log" | tail -n 1 | sed 's/^wine32-setup: failed: //'); repair: $(
      sed -n 's/^repair: //p' "$log" | grep . || echo 'mend that, then run bash tools/setup.sh wine32 as root')"
fi
bash tools/setup.sh

failed=()
for s in "${steps[@]}"; do
  if [ "$s" = windows32 ] && [ -n "$wine32" ]; then
    failed+=("windows32 (not run: Wine's 32-bit half could not be set up: $wine32)")
  else
    bash "$0" --step "$s" || failed+=("$s")
  fi
done
[ ${#failed[@]} -eq 0 ] || { printf 'FAILED: %s\n' "${failed[@]}"; exit 1; }
echo "All steps passed: ${steps[*]}"
