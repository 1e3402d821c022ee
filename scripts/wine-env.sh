#!/usr/bin/env bash
# Runs a command with a private, initialised Wine prefix of this build tree.
# Usage: scripts/wine-env.sh PREFIX_DIR command...
set -euo pipefail
prefix=$(realpath -m "$1"); shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi
status=0
"$@" || status=$?
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
exit $status
