#!/usr/bin/env bash
# Runs one Windows test program under Wine (ctest's emulator for the Windows build). A start
# whose connection to the Wine server is reset before the program prints anything ("wine client
# error:0: recvmsg: Connection reset by peer") never ran the program; it is started once more.
# Every other outcome, the program's own failures included, stands as it is.
set -uo pipefail
wine=${VELMORA_WINE:-/usr/lib/wine/wine64}
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
  "$wine" "$@" > >(tee "$output") 2> >(tee -a "$output" >&2)
  status=$?
  wait   # until both copies are written
  [ "$status" -ne 0 ] && [ "$attempt" -eq 1 ] || exit "$status"
  grep -q 'wine client error:.*Connection reset by peer' "$output" || exit "$status"
  [ "$(grep -vc 'wine client error' "$output")" -eq 0 ] || exit "$status"
  echo "wine-run.sh: the Wine server dropped the program's start; starting it once more" >&2
  : >"$output"
done
