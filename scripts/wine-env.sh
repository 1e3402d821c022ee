#!/usr/bin/env bash
# Runs a command with a private, initialised Wine prefix of this build tree.
# Usage: scripts/wine-env.sh PREFIX_DIR command...   (or PREFIX_DIR program.exe args...)
set -euo pipefail
prefix=$(realpath -m "$1"); shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi
# A Windows program given directly runs through the Wine loader.
case "${1:-}" in
  *.exe) set -- "$wine" "$@" ;;
esac
status=0
"$@" || status=$?
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
exit $status
