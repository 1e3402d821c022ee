#!/usr/bin/env bash
# Line and branch coverage of src/ and tools/ by the whole native test suite (the test network
# ones included): builds the coverage flavour, clears old counters, runs ctest, and writes
# build/coverage/index.html (per file, line by line), coverage.json (per-file figures for
# comparing two runs) and summary.txt, the one line it also prints.
# Exit status: ctest's failures or gcovr's; the report is written either way.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
build=build/coverage-build
out=build/coverage

cmake --preset coverage >/dev/null && cmake --build --preset coverage -j "$jobs" || exit 1
find "$build" -name '*.gcda' -delete
ctest --preset coverage -j "$jobs"
tests=$?

rm -rf "$out"; mkdir -p "$out"
# Branches the compiler adds for exception unwinding are not decisions in our code. The counter
# files are searched in the build tree only; without --object-directory gcovr tries each
# folder above a counter file for the compiler's working folder, which the relative source
# paths of a cached compile need.
gcovr --root . -j "$jobs" \
      --filter 'src/' --filter 'tools/' \
      --exclude-unreachable-branches --exclude-throw-branches \
      --html-details "$out/index.html" --json-summary-pretty --json-summary "$out/coverage.json" \
      "$build" >/dev/null || exit 1
python3 - "$out/coverage.json" <<'PY' | tee "$out/summary.txt"
import json, sys
t = json.load(open(sys.argv[1]))
def pct(c, n): return f"{100.0 * c / n:.1f}%" if n else "n/a"
print(f"lines: {pct(t['line_covered'], t['line_total'])} ({t['line_covered']} of {t['line_total']}), "
      f"branches: {pct(t['branch_covered'], t['branch_total'])} ({t['branch_covered']} of {t['branch_total']})")
PY
[ "$tests" -eq 0 ]
