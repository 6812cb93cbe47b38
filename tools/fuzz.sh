#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target, one after another, for
# the given seconds each (default 20), starting from its committed seed corpus
# in tests/fuzz/corpus/<target>/ (on a scratch copy, so the committed corpus
# stays as it is). Prints executions, executions per second and coverage per
# target, and exits non-zero when a target found a fault, saying where the
# input that shows it was written.
#
#   tools/fuzz.sh [seconds]
#   FUZZ_RUNS=N tools/fuzz.sh [seconds]       also stop each target after N executions
#   FUZZ_TARGETS="id_text link" tools/fuzz.sh  only these targets
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
seconds=${1:-20}
cd "$(dirname "$0")/.."

mkdir -p build
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j "$(nproc)"; } >build/fuzz-build.log 2>&1; then
  tail -30 build/fuzz-build.log
  echo "fuzz: the fuzz preset did not build (build/fuzz-build.log)" >&2
  exit 2
fi

read -r -a targets <<<"${FUZZ_TARGETS:-id_text hex_text niopen catalogue link plan}"
# Longest input per target: the texts are fields, the rest build layouts and traffic.
declare -A max_len=([id_text]=64 [hex_text]=64 [niopen]=256 [catalogue]=1024 [link]=512 [plan]=2048)
bin=build/fuzz/tests/fuzz
artifacts=build/fuzz/artifacts
work=$(mktemp -d)
locstr_at_exit "rm -rf $(printf %q "$work")"

# The value after "<key>:" in libFuzzer's final line.
field() { sed -n "s|.* $1: \([0-9]*\).*|\1|p" <<<"$2"; }

faults=()
printf '%-10s %12s %9s %6s %6s  %s\n' target executions exec/s cov ft result
for t in "${targets[@]}"; do
  [ -x "$bin/fuzz_$t" ] || { echo "fuzz: no target fuzz_$t" >&2; exit 2; }
  mkdir -p "$work/$t" "$artifacts/$t"
  cp tests/fuzz/corpus/"$t"/* "$work/$t/"
  log=$artifacts/$t/last.log
  args=(-max_total_time="$seconds" -max_len="${max_len[$t]:-1024}" -len_control=0 -timeout=120
        -print_final_stats=1 -artifact_prefix="$artifacts/$t/")
  [ -z "${FUZZ_RUNS:-}" ] || args+=(-runs="$FUZZ_RUNS")
  status=0
  "$bin/fuzz_$t" "${args[@]}" "$work/$t" >"$log" 2>&1 || status=$?
  final=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
  if [ "$status" -eq 0 ] && [ -n "$final" ]; then
    runs=$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$final")
    printf '%-10s %12s %9s %6s %6s  %s\n' "$t" "$runs" "$(field exec/s "$final")" \
      "$(field cov "$final")" "$(field ft "$final")" "no fault"
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    printf '%-10s %12s %9s %6s %6s  %s\n' "$t" "${runs:--}" - - - "FAULT (exit $status)"
    grep -m1 -E 'CHECK failed|ERROR|Sanitizer:|runtime error|out-of-memory|timeout' "$log" |
      sed 's/^/    /' || true
    echo "    input: ${input:-none written}; log: $log"
    faults+=("$t")
  fi
done

if [ ${#faults[@]} -gt 0 ]; then
  echo "fuzz: faults found by: ${faults[*]}"
  exit 1
fi
echo "fuzz: no faults (${#targets[@]} targets, ${seconds} s each)"
