#!/usr/bin/env bash
# The real ASIOVelmora.dll under Wine: velmora-play.exe through the driver (default settings)
# to velmora-sink in a test network, one case per line of CASES_FILE, each case's sink report,
# burst log and player output into OUT_DIR/<name>/.
#
# Usage: bench/report/wine-pacing.sh NATIVE_BUILD WINDOWS_BUILD CASES_FILE OUT_DIR SECONDS
# A case line: name|settings lines (";" separated)|player options|sink options
set -uo pipefail
cd "$(dirname "$0")/../.."
native=$(realpath "$1"); windows=$(realpath "$2"); cases=$(realpath "$3"); out=$(realpath -m "$4"); seconds=$5
mkdir -p "$out"
cat >"$out/inside.sh" <<'INSIDE'
set -u
sink_ns=${VELMORA_TESTNET_SINKS%% *}
wine=/usr/lib/wine/wine64
export WINEPREFIX="$OUT/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
dll=$("$wine" winepath -w "$WINDOWS/src/com/module/ASIOVelmora.dll" 2>/dev/null)
"$wine" regsvr32 /s "$dll" >/dev/null 2>&1
appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
[ -d "$appdata" ] || appdata="$WINEPREFIX/drive_c/users/$(id -un)/Application Data"
settings_dir="$appdata/TOLVENIK Velmora"
mkdir -p "$settings_dir"
while IFS='|' read -r name settings play sink; do
  [ -n "$name" ] || continue
  dir="$OUT/$name"; mkdir -p "$dir"
  { printf 'Version=1_100_0\r\n'; tr ';' '\n' <<<"$settings" | sed '/^$/d; s/$/\r/'; } >"$settings_dir/setting.inf"
  # shellcheck disable=SC2086
  ip netns exec "$sink_ns" "$NATIVE/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
    --report "$dir/report.json" --burst-log "$dir/bursts.txt" --time-limit $((SECONDS_PER_CASE + 60)) \
    --idle-timeout 3 --quiet $sink >"$dir/sink.log" 2>&1 &
  sink_pid=$!
  sleep 0.5
  load=$(cut -d' ' -f1 /proc/loadavg)
  # shellcheck disable=SC2086
  timeout $((SECONDS_PER_CASE + 60)) "$wine" "$WINDOWS/tools/velmora-play/velmora-play.exe" --pattern sine \
    --seconds "$SECONDS_PER_CASE" --quiet $play >"$dir/play.log" 2>&1
  echo "status $? load $load" >>"$dir/play.log"
  wait "$sink_pid"
  echo "case $name done"
done <"$CASES"
/usr/lib/wine/wineserver -k >/dev/null 2>&1
INSIDE
tests/netns/testnet.sh --sinks 1 --timeout 1800 -- \
  env OUT="$out" NATIVE="$native" WINDOWS="$windows" CASES="$cases" SECONDS_PER_CASE="$seconds" bash "$out/inside.sh"
