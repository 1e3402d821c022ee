#!/usr/bin/env bash
# The main job. Until the driver streams end to end, it shows the log round trip.
set -euo pipefail
dir=${1:-build/linux}
demo="$dir/tools/velmora-logdemo/velmora-logdemo"
if [ ! -x "$demo" ]; then
  echo "velmora-logdemo was not built" >&2
  exit 1
fi
"$demo"
echo "Streaming to a sink is not part of the demo yet."
