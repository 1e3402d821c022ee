#!/usr/bin/env bash
# velmora-play through the driver to velmora-sink in a test network, one case per line of
# CASES_FILE: natively (libASIOVelmora.so) or under Wine (the registered ASIOVelmora.dll).
# Into OUT_DIR/<name>/ go the sink's report and burst log, the player's output, the processor
# time of the player (which holds the driver) and of the sink over the middle of the run, and
# with "--mark-every" among the player options (native only) both ends' latency marks.
#
# Usage: bench/report/play-cases.sh native|wine NATIVE_BUILD WINDOWS_BUILD CASES_FILE OUT_DIR SECONDS
# A case line: name|settings lines (";" separated)|player options|sink options
set -uo pipefail
cd "$(dirname "$0")/../.."
mode=$1; native=$(realpath "$2"); windows=$(realpath -m "$3"); cases=$(realpath "$4"); out=$(realpath -m "$5")
seconds=$6
mkdir -p "$out"
cat >"$out/inside.sh" <<'INSIDE'
set -u
source scripts/driver-setup.sh
sink_ns=${VELMORA_TESTNET_SINKS%% *}
driver_setup "$OUT"
if [ "$MODE" = wine ]; then
  player=("$wine" "$WINDOWS/tools/velmora-play/velmora-play.exe")
else
  player=("$NATIVE/tools/velmora-play/velmora-play" --module "$NATIVE/src/com/module/libASIOVelmora.so")
fi
ticks_of() { [ -r "/proc/$1/stat" ] && awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }
window=$(( SECONDS_PER_CASE > 5 ? SECONDS_PER_CASE - 3 : 2 ))
while IFS='|' read -r name settings play sink; do
  [ -n "$name" ] || continue
  dir="$OUT/$name"; mkdir -p "$dir"
  { printf 'Version=1_100_0\r\n'; tr ';' '\n' <<<"$settings" | sed '/^$/d; s/$/\r/'; } >"$settings_dir/setting.inf"
  marks_sink=(); marks_play=(); pattern=(--pattern sine)
  case "$play" in *--pattern*) pattern=() ;; esac
  case "$play" in *--mark-every*) marks_sink=(--mark-log "$dir/sink-marks.txt"); marks_play=(--mark-log "$dir/host-marks.txt") ;; esac
  # shellcheck disable=SC2086
  ip netns exec "$sink_ns" "$NATIVE/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
    --report "$dir/report.json" --burst-log "$dir/bursts.txt" --time-limit $((SECONDS_PER_CASE + 60)) \
    --idle-timeout 3 --quiet "${marks_sink[@]}" $sink >"$dir/sink.log" 2>&1 &
  sink_pid=$!
  sleep 0.5
  load=$(cut -d' ' -f1 /proc/loadavg)
  # shellcheck disable=SC2086
  timeout $((SECONDS_PER_CASE + 60)) "${player[@]}" "${pattern[@]}" --seconds "$SECONDS_PER_CASE" --quiet \
    "${marks_play[@]}" $play >"$dir/play.log" 2>&1 &
  play_pid=$!
  # Processor time over the middle of the run (the player's pid is timeout's child).
  sleep 2
  player_pid=$(pgrep -P "$play_pid" | head -1); player_pid=${player_pid:-$play_pid}
  sink_proc=$(pgrep -P "$sink_pid" | head -1); sink_proc=${sink_proc:-$sink_pid}
  p0=$(ticks_of "$player_pid"); s0=$(ticks_of "$sink_proc"); p1=${p0:-0}; s1=${s0:-0}
  until_s=$((SECONDS + window))
  while [ "$SECONDS" -lt "$until_s" ]; do   # the last reading while each still runs
    sleep 0.25
    t=$(ticks_of "$player_pid") && p1=$t
    t=$(ticks_of "$sink_proc") && s1=$t
  done
  wait "$play_pid"
  echo "status $? load $load" >>"$dir/play.log"
  echo "{\"seconds\": $window, \"player_ticks\": $((p1 - p0)), \"sink_ticks\": $((s1 - s0)), \"ticks_per_s\": $(getconf CLK_TCK)}" >"$dir/cpu.json"
  wait "$sink_pid"
  echo "case $name done"
done <"$CASES"
driver_teardown
exit 0
INSIDE
limit=$(( (seconds + 70) * $(grep -c . "$cases") + 120 ))
tests/netns/testnet.sh --sinks 1 --timeout "$limit" -- \
  env OUT="$out" MODE="$mode" NATIVE="$native" WINDOWS="$windows" CASES="$cases" SECONDS_PER_CASE="$seconds" \
  bash "$out/inside.sh"
