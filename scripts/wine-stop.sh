#!/usr/bin/env bash
# Stops the Wine server of a prefix and removes the folder Wine kept for it in /tmp
# (/tmp/wine-XXXXXX/server-DEV-INODE, named after the prefix's device and inode), which Wine
# itself leaves behind: a test that makes a fresh prefix each run would leave one per run. Only
# for a prefix of the caller's own: another program using the prefix would lose its server.
# Usage: scripts/wine-stop.sh [PREFIX]   (default: $WINEPREFIX)
set -u
prefix=${1:-${WINEPREFIX:-}}
[ -n "$prefix" ] && [ -d "$prefix" ] || exit 0
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w >/dev/null 2>&1
read -r device inode < <(stat -c '%d %i' "$prefix")
name=$(printf 'server-%x-%x' "$device" "$inode")
for dir in /tmp/wine-*/"$name"; do
  [ -d "$dir" ] || continue
  rm -rf "$dir"
  rmdir "$(dirname "$dir")" 2>/dev/null
done
exit 0
