#!/usr/bin/env bash
# The folders of src/ are layers, lowest first: a file may include from its own layer and
# the ones below it, never from one above (nor from tests/ or tools/). com/ holds the COM and
# ASIO declarations the driver implements, so it sits just above platform/; the module that
# exports the driver (com/module/) is the top.
set -uo pipefail
src=$(cd "$(dirname "$0")/../../src" && pwd)
rank() {
  case $1 in
    platform) echo 0 ;; com) echo 1 ;; terno) echo 2 ;; log) echo 3 ;;
    sync|syncbuffer|find) echo 4 ;; driver) echo 5 ;; com/module) echo 6 ;; *) echo "" ;;
  esac
}
status=0
while IFS=: read -r file _ include; do
  from=${file#"$src"/}
  case $from in com/module/*) from=com/module ;; *) from=${from%%/*} ;; esac
  to=$(sed -E 's/.*#include "(com\/module|[^/"]+)\/.*/\1/' <<<"$include")
  [ -n "$(rank "$from")" ] || { echo "${file#"$src"/}: folder $from has no layer"; status=1; continue; }
  if [ -z "$(rank "$to")" ] || [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
    echo "${file#"$src"/} ($from) includes from $to: $include"; status=1
  fi
done < <(grep -rnE '^\s*#\s*include "[^"/]+/' "$src" --include='*.h' --include='*.cpp')
[ $status -eq 0 ] && echo "no include reaches a higher layer"
exit $status
