#!/usr/bin/env bash
# The folders of src/ are layers, lowest first: a file may include from its own layer and
# the ones below it, never from one above (nor from tests/ or tools/). com/ holds the COM and
# ASIO declarations the driver implements, so it sits just above platform/; the module that
# exports the driver (com/module/) is the top.
set -uo pipefail
src=$(cd "$(dirname "$0")/../../src" && pwd)
declare -A rank=([platform]=0 [com]=1 [terno]=2 [log]=3 [sync]=4 [syncbuffer]=4 [find]=4
                 [driver]=5 [com/module]=6)
folder() {   # the layer a path below src/ belongs to, into $layer
  if [[ $1 == com/module/* ]]; then layer=com/module; else layer=${1%%/*}; fi
}
status=0
while IFS=: read -r file _ include; do
  file=${file#"$src"/}
  [[ $include =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
  folder "$file"; from=$layer
  folder "${BASH_REMATCH[1]}"; to=$layer
  if [ -z "${rank[$from]:-}" ]; then
    echo "$file: folder $from has no layer"; status=1
  elif [ -z "${rank[$to]:-}" ] || [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
    echo "$file ($from) includes from $to: ${BASH_REMATCH[1]}"; status=1
  fi
done < <(grep -rnE '^\s*#\s*include "[^"/]+/' "$src" --include='*.h' --include='*.cpp')
[ $status -eq 0 ] && echo "no include reaches a higher layer"
exit $status
