#!/usr/bin/env bash
# Builds every flavour and runs its tests; fails when any suite fails.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
passed=0; failed=0; failures=()

run_suite() {   # name, then the command
  local name=$1; shift
  echo "=== $name ==="
  local log=build/$name-tests.log
  mkdir -p build
  if "$@" 2>&1 | tee "$log"; then :; fi
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$summary" ] && grep -q 'No tests were found' "$log"; then
    echo "($name: no tests in this suite yet)"; return
  fi
  if [ -z "$summary" ]; then
    failed=$((failed + 1)); failures+=("$name (did not run)"); return
  fi
  local total fails
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  fails=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  passed=$((passed + total - fails)); failed=$((failed + fails))
  [ "$fails" -eq 0 ] || failures+=("$name")
}

build() {   # preset [targets...]
  local preset=$1; shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs" "$@"
}

# Everything natively and for Windows; only the test programs under the sanitizers.
for step in "linux" "asan --target unit_tests" "tsan --target thread_tests" "windows"; do
  # shellcheck disable=SC2086
  if ! build $step; then
    failed=$((failed + 1)); failures+=("build ${step%% *}")
  fi
done

run_suite linux   ctest --preset linux -j "$jobs"
run_suite asan    env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --preset asan -j "$jobs"
run_suite tsan    env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan -j "$jobs"
run_suite windows scripts/wine-env.sh build/wine-prefix ctest --preset windows -j "$jobs"

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "Failed: ${failures[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
