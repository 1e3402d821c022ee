#!/usr/bin/env bash
# make bench: every benchmark, and docs/performance.md with its plots (bench/report).
# Usage: scripts/run-bench.sh [NATIVE_BUILD] [WINDOWS_BUILD] [SECONDS_PER_RUN]
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/linux}
windows=${2:-build/windows}
seconds=${3:-3}
scripts/install-bench-deps.sh
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/python3 bench/report/make_report.py "$(realpath "$native")" "$(realpath -m "$windows")" docs/performance.md \
  --seconds "$seconds"
echo "wrote docs/performance.md"
