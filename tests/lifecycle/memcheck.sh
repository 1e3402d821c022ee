#!/usr/bin/env bash
# valgrind memcheck of the driver module through whole host cycles: init, createBuffers, start,
# stop, disposeBuffers and Release on a fresh object each time, against the reference sink in
# the test network. Fails on any memcheck error or definite/indirect leak.
# Usage: tests/lifecycle/memcheck.sh BUILD_DIR [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/linux}
cycles=${2:-100}
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/install-deps.sh)"; exit 1; }
program=$build/tests/lifecycle/test_lifecycle
log=$build/memcheck.log
status=0
bash tests/netns/testnet.sh --sinks 1 --timeout 3000 -- \
  env VELMORA_CYCLES="$cycles" valgrind --tool=memcheck --error-exitcode=3 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect --log-file="$log" \
  "$program" --gtest_filter=LifecycleTest.FullCyclesOnFreshObjects || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable" "$log" || true
exit $status
