#!/usr/bin/env bash
# Prints the benchmark of locstr.exe on the vnic driver (not a test): the
# latency of location changes, locstr-batch.exe's time per node over a plan
# of 200 nodes beside one change's floor, the CPU time with an open interface
# and no traffic, and the start-up time beside a minimal dialog program. With
# --baseline, a second locstr.exe runs alternately in the same run and both
# are printed side by side. Builds what it needs in the windows build, runs in
# the driver's own Wine prefix and ends that prefix's wineserver afterwards.
#
# Usage: tests/e2e/benchmark.sh [--baseline REV|PATH] [--idle-seconds N] [--realtime] [changes]
#   changes          location changes per program (default 120)
#   --baseline REV   a git revision: checked out in build/bench-baseline-<rev>
#                    (a git worktree) and its locstr.exe built there; vnic.sys
#                    and vnet.exe always come from this tree
#   --baseline PATH  a locstr.exe to compare with
#   --idle-seconds N the CPU-time window per program (default 60)
#   --realtime       runs Wine and the programs under SCHED_FIFO (root only), so
#                    that other work on the machine does not delay them
# Environment: BENCH_BLOCK (changes per block, 10), BENCH_STARTUP_RUNS (5),
# BENCH_IDLE_SECONDS (as --idle-seconds), BENCH_SAMPLES (a CSV file for every
# change's rows), BENCH_BATCH_NODES (200), BENCH_BATCH_RUNS (3),
# LOCSTR_WINDOWS_BUILD.
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)

usage() {
  sed -n 's/^# \{0,1\}//; 10,22p' "$0" >&2
  exit 2
}
baseline=""
changes=120
realtime=()
while [ $# -gt 0 ]; do
  case "$1" in
  --baseline) [ $# -ge 2 ] || usage; baseline="$2"; shift 2 ;;
  --baseline=*) baseline="${1#*=}"; shift ;;
  --idle-seconds) [ $# -ge 2 ] || usage; export BENCH_IDLE_SECONDS="$2"; shift 2 ;;
  --idle-seconds=*) export BENCH_IDLE_SECONDS="${1#*=}"; shift ;;
  --realtime) realtime=(chrt --fifo 5); export BENCH_REALTIME=1; shift ;;
  -h | --help) usage ;;
  -*) usage ;;
  *) changes="$1"; shift ;;
  esac
done

cd "$root"
locstr_windows_build vnic vnet locstr locstr-batch e2e_benchmark minimal_dialog >&2

if [ -n "$baseline" ]; then
  if [ -f "$baseline" ]; then
    BASELINE_LOCSTR_EXE=$(realpath "$baseline")
    BASELINE_NAME=baseline
    BASELINE_WHAT="$BASELINE_LOCSTR_EXE"
  else
    # A revision that does not resolve is the caller's mistake: say so.
    rev=$(git rev-parse --verify --quiet "$baseline^{commit}") || {
      echo "benchmark: --baseline $baseline is neither a file nor a git revision" >&2
      exit 2
    }
    short=$(git rev-parse --short "$rev")
    tree="$root/build/bench-baseline-$short"
    if [ ! -e "$tree/.git" ]; then
      # --force: the path may still be registered from a build/ since removed.
      quiet git worktree add --force --detach "$tree" "$rev"
    fi
    echo "benchmark: building the baseline's locstr.exe ($short) in $tree" >&2
    [ -f "$tree/build/windows/CMakeCache.txt" ] || quiet cmake -S "$tree" --preset windows
    quiet cmake --build "$tree/build/windows" -j "$(nproc)" --target locstr
    BASELINE_LOCSTR_EXE=$(find "$tree/build/windows" -name locstr.exe -print -quit)
    [ -n "$BASELINE_LOCSTR_EXE" ] || locstr_die "benchmark: the baseline $short built no locstr.exe"
    BASELINE_NAME="$short"
    BASELINE_WHAT="$short, built in build/bench-baseline-$short"
  fi
  export BASELINE_LOCSTR_EXE BASELINE_NAME BASELINE_WHAT
fi

exec "${realtime[@]}" bash tools/vnic.sh exec "$VNIC_SYS" "$E2E_BENCHMARK_EXE" "$changes"
