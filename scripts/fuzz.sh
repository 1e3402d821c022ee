#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang-14, ASan + UBSan) and runs each for a
# while, starting from its seed corpus in fuzz/corpus/ (kept as it is; inputs that add
# coverage collect in build/fuzz/corpus/<target>). A crash, a leak, a sanitizer report or
# an input that runs longer than 25 s fails the target and leaves the input in
# build/fuzz/crashes/<target>/: reproduce it with build/fuzz/fuzz/targets/<target> FILE.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 20 s, every target)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(FrameFuzz FindAnswersFuzz GetInfoFuzz WorkerStatusFuzz SettingsFuzz AddressFuzz
           SinkControlFuzz SinkDataFuzz SinkFindFuzz)
fi

echo "=== fuzz (${seconds} s per target) ==="
if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "${JOBS:-2}"; }; then
  echo "0 passed, 1 failed"; exit 1
fi
bin=build/fuzz/fuzz/targets
passed=0; failed=0
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t crashes=build/fuzz/crashes/$t log=build/fuzz/$t.log
  mkdir -p "$work" "$crashes"
  "$bin/$t" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3000 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ $status -eq 0 ]; then
    printf 'PASS %-17s %9s inputs in %s s, coverage %s edges, corpus %s\n' "$t" "${runs:-?}" "$seconds" "${cov:-?}" \
      "$(find "$work" "fuzz/corpus/$t" -type f 2>/dev/null | wc -l)"
    passed=$((passed + 1))
  else
    echo "FAIL $t (status $status): $log"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 | sed 's/^/    /'
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
