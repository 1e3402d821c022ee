#!/usr/bin/env bash
# make bench: every benchmark, and docs/performance.md with its plots (bench/report).
# Usage: scripts/run-bench.sh [NATIVE_BUILD] [WINDOWS_BUILD] [PLAIN_WAITS_WINDOWS_BUILD] [SECONDS_PER_RUN]
#                             [CEILING_SECONDS] [make_report.py options]
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/linux}
windows=${2:-build/windows}
plain=${3:-build/windows-plain}
seconds=${4:-3}
ceiling=${5:-60}
shift $(( $# < 5 ? $# : 5 ))
scripts/install-bench-deps.sh
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/python3 bench/report/make_report.py "$(realpath "$native")" "$(realpath -m "$windows")" docs/performance.md \
  --plain-windows "$(realpath -m "$plain")" --seconds "$seconds" --ceiling-seconds "$ceiling" "$@"
echo "wrote docs/performance.md"
