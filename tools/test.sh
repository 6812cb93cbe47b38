#!/usr/bin/env bash
# Sets up (when needed), checks format and tidy, builds every build and runs
# every test:
#   tools/test.sh                  lint, host, host-asan, host-tsan, fuzz, windows,
#                                  windows32
#   tools/test.sh host windows     only the steps named
# The fuzz step runs every fuzz target briefly from its seeds
# (LOCSTR_FUZZ_SECONDS each, 20 by default), so a regression fails it.
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(lint host host-asan host-tsan fuzz windows windows32)
# The 32-bit program's end-to-end tests need Wine's 32-bit half.
if [[ " ${presets[*]} " == *" windows32 "* ]]; then
  bash tools/setup.sh wine32
else
  bash tools/setup.sh
fi
. tools/wine-env.sh

jobs=$(nproc)
failed=()
# The host's GoogleTest executables once more, each as one process with its
# tests in a random order: a test that depends on another's leftovers fails.
# The seed is printed, so a failing order can be replayed with
# --gtest_shuffle --gtest_random_seed=N; each run is bounded like a CTest test.
shuffled_run() {
  local build=$1 status=0 exe rc seed
  seed=${LOCSTR_SHUFFLE_SEED:-$((RANDOM % 99999 + 1))}
  echo "=== shuffled rerun of $build/tests/host, seed $seed"
  for exe in "$build"/tests/host/*_test; do
    [ -x "$exe" ] || continue
    rc=0
    timeout 300 "$exe" --gtest_shuffle --gtest_random_seed="$seed" --gtest_brief=1 \
      >"$build/shuffled.log" 2>&1 || rc=$?
    if [ $rc -ne 0 ]; then
      if [ $rc -eq 124 ]; then
        echo "shuffled run of ${exe##*/} (seed $seed) did not end within 300 s:" >&2
      else
        echo "shuffled run of ${exe##*/} (seed $seed) failed (status $rc):" >&2
      fi
      tail -30 "$build/shuffled.log" >&2
      status=1
    fi
  done
  return $status
}

for preset in "${presets[@]}"; do
  if [ "$preset" = lint ]; then
    bash tools/lint.sh || failed+=(lint)
    continue
  fi
  if [ "$preset" = fuzz ]; then
    echo "=== fuzz: every target for ${LOCSTR_FUZZ_SECONDS:-20} s from its seeds"
    bash tools/fuzz.sh "${LOCSTR_FUZZ_SECONDS:-20}" || failed+=(fuzz)
    continue
  fi
  echo "=== $preset: configure and build"
  if [ "$preset" = windows32 ]; then
    # Its end-to-end test operates the 32-bit program with the 64-bit build's
    # tests, driver and network process.
    quiet cmake --preset windows
    cmake --build --preset windows -j "$jobs" --target vnic vnet e2e_test
  fi
  quiet cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  parallel=$jobs
  if [ "$preset" = windows ]; then
    # A persistent wineserver makes each test's start fast (windows32's one
    # Wine test runs in the driver's prefix, which keeps its own). -k fails
    # when none runs; -p needs that no server runs.
    "$WINESERVER" -k 2>/dev/null || true
    quiet "$WINESERVER" -w
    "$WINESERVER" -p
  fi
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  if ! ctest --preset "$preset" -j "$parallel" --timeout 300 --no-tests=error; then
    failed+=("$preset")
  elif [ "${preset#windows}" = "$preset" ] && ! shuffled_run "build/$preset"; then
    failed+=("$preset (shuffled)")
  fi
  if [ "$preset" = windows ]; then
    # Fails when the server has ended already (a test may end it).
    "$WINESERVER" -k 2>/dev/null || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "All presets passed: ${presets[*]}"
