#!/usr/bin/env bash
# The main job: a sink in one network namespace, the driver in another, a 10-second stereo
# test signal from the ASIO test host through the driver to the sink, and a short report.
# WAV=path plays a sound file instead (heard at the sink, not checked bit for bit).
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/linux}")
out=$(realpath -m build/demo)
seconds=${SECONDS_TO_PLAY:-10}
wav=${WAV:-}

for tool in tools/velmora-sink/velmora-sink tools/velmora-play/velmora-play tools/velmora-check/velmora-check \
            src/com/module/libASIOVelmora.so; do
  [ -e "$build/$tool" ] || { echo "demo: $build/$tool was not built" >&2; exit 1; }
done
if [ -n "$wav" ] && [ ! -r "$wav" ]; then echo "demo: cannot read WAV=$wav" >&2; exit 1; fi
# The demo builds its own network of Linux network namespaces (ip netns + veth). As root it
# does so directly; a normal user gets them inside an unprivileged user namespace.
network=(tests/netns/testnet.sh)
if [ "$(id -u)" -ne 0 ]; then
  if ! unshare --user --map-root-user --net --mount true 2>/dev/null; then
    cat >&2 <<MSG
demo: the demo builds its own network of Linux network namespaces (ip netns + veth). This
kernel does not let a normal user make them (unprivileged user namespaces are off), so it
needs root: run it as root, for example with "sudo make demo".
MSG
    exit 1
  fi
  network=(tests/netns/userns.sh tests/netns/testnet.sh)
fi

rm -rf "$out" && mkdir -p "$out/config/TOLVENIK Velmora"
# The driver's own settings for the demo user: factory values, with its log on so that
# velmora-play can count underruns and show the driver's session counters from it.
printf 'Version=1_100_0\r\nDebug=enable\r\n' >"$out/config/TOLVENIK Velmora/setting.inf"
signal=counter
[ -n "$wav" ] && signal=$(realpath "$wav")

# Runs inside the test network's host namespace.
cat >"$out/run.sh" <<RUN
set -u
sink_ns=\${VELMORA_TESTNET_SINKS%% *}
ip netns exec "\$sink_ns" "$build/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
  --raw-out "$out/received.raw" --wav "$out/received.wav" --report "$out/sink-report.json" \
  --time-limit $((seconds + 40)) --idle-timeout 3 --quiet >"$out/sink.log" 2>&1 &
sink=\$!
sleep 1
XDG_CONFIG_HOME="$out/config" timeout $((seconds + 30)) "$build/tools/velmora-play/velmora-play" \
  --module "$build/src/com/module/libASIOVelmora.so" --channels 2 --seconds $seconds --pattern "$signal" --quiet \
  >"$out/play.log" 2>&1
echo \$? >"$out/play.status"
wait \$sink
RUN

echo "Velmora demo: sink and driver in their own network namespaces, $seconds s of $([ -n "$wav" ] && echo "$wav" || echo "the stereo counter test signal")"
"${network[@]}" --sinks 1 --timeout $((seconds + 90)) -- bash "$out/run.sh"
net=$?
if [ $net -eq 77 ]; then echo "demo: this machine cannot make network namespaces" >&2; exit 1; fi

echo
echo "== Discovered and negotiated (velmora-play) =="
sed -n '/^driver:/,/^signal:/p' "$out/play.log"
grep -E "^played|^underruns|^profile|failed|cannot" "$out/play.log"
sed -n '/^counters:/,$p' "$out/play.log"   # the driver's session counters, from its log
status=$(cat "$out/play.status" 2>/dev/null || echo 1)

report="$out/sink-report.json"
if [ ! -s "$report" ]; then echo "demo: the sink wrote no report (see $out/sink.log)" >&2; exit 1; fi
echo
echo "== At the sink =="
python3 - "$report" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
b = r.get("bursts", {})
print(f"format:      {r.get('format_text')}  (profile min {r['profile']['min']} max {r['profile']['max']} flags {r['profile']['flags']})")
print(f"packets:     {r['packets_received']} received, {r['duplicates']} duplicates, {r['resend_requests']} resend requests, "
      f"{r['recovered']} recovered, {r['never_recovered']} never recovered")
print(f"pacing:      burst interval mean {b.get('interval_mean_us', 0):.0f} us, p50 {b.get('interval_p50_us', 0):.0f} us, "
      f"p99 {b.get('interval_p99_us', 0):.0f} us, max deviation {b.get('max_deviation_us', 0):.0f} us")
print(f"byte rate:   {r['byte_rate']:.0f} B/s against {r['nominal_byte_rate']:.0f} B/s nominal over {r['stream_seconds']:.1f} s")
print(f"ended by:    {r['end_reason']}, closing handshake {'done' if r['closing_handshake'] else 'missing'}")
PY

echo
echo "== Delivery =="
echo "received audio: $out/received.wav (raw stream bytes: $out/received.raw)"
if [ -n "$wav" ]; then
  echo "played a sound file: listen to the received audio to judge it"
  [ "$status" -eq 0 ]
  exit $?
fi
min_frames=$((seconds * 44100 * 8 / 10))
"$build/tools/velmora-check/velmora-check" "$out/received.raw" --channels 2 --host-bytes 4 --wire-bytes 4 \
  --min-frames $min_frames
exact=$?
if [ "$status" -eq 0 ] && [ $exact -eq 0 ]; then
  echo "RESULT: the sink received the signal bit for bit"
  exit 0
fi
echo "RESULT: delivery was NOT exact (player status $status)"
exit 1
