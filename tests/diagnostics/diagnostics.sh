#!/usr/bin/env bash
# The diagnostic tools against real traffic. velmora-play streams the counter pattern through
# the driver (with its log on) to velmora-sink in the test network, the sink dropping a few
# packets so that resends happen:
#   viewer  velmora-log on a terminal (script's pty) shows the driver's lines with local time
#           and severity, filtered, and its counter line as a status line; dumpcap captures the
#           link and the loopback meanwhile. The Wireshark dissector must decode every packet
#           with the values of this run, and the driver's last counter line must agree with
#           the packets on the wire.
#   player  velmora-play alone: its summary shows the driver's counters, which must agree
#           with the sink's report.
#   wine    (--wine) velmora-log.exe under Wine, off a terminal, shows the lines of the Windows
#           driver that velmora-play.exe plays through.
# Usage: diagnostics.sh NATIVE_BUILD [--wine WINDOWS_BUILD]
# Exit: 0 when every check holds, 1 otherwise, 77 without namespaces or tshark.
set -uo pipefail
cd "$(dirname "$0")/../.."
native=$(realpath "${1:?native build directory}"); shift
windows=""
[ "${1:-}" = --wine ] && windows=$(realpath "${2:?windows build directory}")
command -v tshark >/dev/null && command -v dumpcap >/dev/null || { echo "SKIPPED: no tshark"; exit 77; }
work=$(mktemp -d /tmp/velmora-diagnostics.XXXXXX)
[ -n "${DIAG_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

cat >"$work/inside.sh" <<'INSIDE'
set -u
sink_ns=${VELMORA_TESTNET_SINKS%% *}
wine=/usr/lib/wine/wine64
passed=0; failed=0
check() {   # name, then a command that must succeed
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAIL $name"; failed=$((failed + 1)); fi
}
equal() { [ "$1" = "$2" ] || { echo "    got [$1], expected [$2]"; return 1; }; }
has() { grep -aqE "$2" "$1" || { echo "    no /$2/ in $1"; return 1; }; }
lacks() { ! grep -aqE "$2" "$1" || { echo "    /$2/ in $1"; return 1; }; }

# A counter of the last counter line in a file of received log lines.
counter() { grep -a ' localhost counters ' "$1" | tail -1 | grep -oE " $2=-?[0-9]+" | cut -d= -f2; }

# stream NAME PLAYER...: settings with the driver's log at level 7, the sink (dropping 2 % of
# the data packets after the first 200), the player; the sink's report lands in NAME/.
stream() {
  local dir=$WORK/$1; shift
  mkdir -p "$dir" "$SETTINGS"
  printf 'Version=1_100_0\r\nSyncBufferCount=16\r\nDebug=debug\r\n' >"$SETTINGS/setting.inf"
  ip netns exec "$sink_ns" "$NATIVE/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
    --report "$dir/report.json" --time-limit 60 --idle-timeout 3 --quiet --drop-rate 0.02 --fault-from 200 \
    >"$dir/sink.log" 2>&1 &
  local sink=$!
  sleep 0.5
  timeout 60 "$@" --pattern counter --channels 2 --seconds 3 >"$dir/play.log" 2>&1
  local status=$?
  echo "player exit $status" >>"$dir/play.log"
  [ "$status" -eq 0 ] || kill "$sink" 2>/dev/null   # no stream: the sink would wait for one
  wait "$sink"
  # A heavily loaded machine can make the driver's 10 ms control exchanges miss (an answer
  # taken for the next request): say so, and try once more.
  if [ "$status" -ne 0 ] && [ -z "${RETRIED:-}" ]; then
    echo "note: $(basename "$dir"): the player failed ($(grep -m1 'failed' "$dir/play.log")); once more"
    RETRIED=1 stream "$(basename "$dir")" "$@"
  fi
}
# Waits up to 30 s for TEXT in FILE (a viewer saying it listens).
wait_for() { for _ in $(seq 300); do grep -aq "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done; return 1; }
report() { grep -oE "\"$2\": [0-9]+" "$1/report.json" | grep -oE '[0-9]+$'; }

if [ "$MODE" = native ]; then
  export XDG_CONFIG_HOME=$WORK/config
  SETTINGS="$XDG_CONFIG_HOME/TOLVENIK Velmora"
  play=("$NATIVE/tools/velmora-play/velmora-play" --module "$NATIVE/src/com/module/libASIOVelmora.so")
  viewer="$NATIVE/tools/velmora-log/velmora-log --level info --exclude 'Request Info' --append $WORK/viewer/appended.log --idle 3 --seconds 60"

  # --- viewer: velmora-log on a terminal, dumpcap on the link and the loopback ---
  mkdir -p "$WORK/viewer"
  dumpcap -q -i link1 -i lo -f udp -w "$WORK/viewer/capture.pcapng" >"$WORK/viewer/dumpcap.log" 2>&1 &
  capture=$!
  script -qfec "$viewer" "$WORK/viewer/terminal.txt" >/dev/null 2>&1 &
  shown=$!
  wait_for "$WORK/viewer/terminal.txt" 'listening on'
  stream viewer "${play[@]}"
  wait "$shown"
  sleep 0.5
  kill -INT "$capture"; wait "$capture"

  v=$WORK/viewer
  # The lines on the screen, without colours and without script's own header line.
  sed 's/\x1b\[[0-9;]*[A-Za-z]//g' "$v/terminal.txt" | tr '\r' '\n' | grep -a '^[0-9][0-9]:' >"$v/screen.txt"
  check "viewer: lines with local time and severity name" has "$v/screen.txt" '^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]{3} info +wth start '
  check "viewer: detail lines filtered out" lacks "$v/screen.txt" 'sendAck\['
  check "viewer: excluded text filtered out" lacks "$v/screen.txt" 'Request Info'
  check "viewer: counters redrawn in place" has "$v/terminal.txt" $'\r\x1b\\[2K\x1b\\[1msent [0-9]+ \\(\\+[0-9]+\\)  resent'
  check "viewer: appended lines as received" has "$v/appended.log" '^<134>[A-Z][a-z]{2} [0-9]{2} [0-9:]{8} localhost counters sent='
  check "viewer: the port stays the viewer's while velmora-play plays" has "$v/play.log" '^underruns: +unknown'
  check "viewer: the appended file is filtered too" lacks "$v/appended.log" 'sendAck\[|Request Info'

  # The capture: the filtered lines were sent, and the dissector decodes the rest.
  T() { tshark -X "lua_script:$LUA" -r "$v/capture.pcapng" "$@" 2>/dev/null; }
  count() { T -Y "$1" | wc -l; }
  check "capture: the driver sent its detail lines" test "$(count 'udp.dstport == 19640 && frame contains "sendAck["')" -gt 0
  check "dissector: every packet of the link decodes" equal "$(count 'udp && !(udp.port == 19640) && !velmora')" 0
  check "dissector: no malformed frame, no warning" equal "$(count '_ws.malformed || _ws.expert.severity >= 0x600000')" 0
  check "dissector: find answer" equal "$(T -Y 'velmora.command_name == "FIND_ANS"' -T fields -e velmora.find.product -e velmora.find.description | sort -u)" $'PALUDRIN\tVelmora reference sink'
  check "dissector: output record" equal "$(T -Y 'velmora.find.output_port' -T fields -e velmora.find.output_port -e velmora.find.output_version | sort -u)" $'4000\t1'
  check "dissector: stream format" equal "$(T -Y 'velmora.command_name == "CONNECT_REQ"' -T fields -e velmora.format.channels -e velmora.format.type -e velmora.format.rate)" $'2\tint32\t44100'
  check "dissector: data goes to the port CONNECT_ANS named" equal \
    "$(T -Y 'velmora.command_name == "DATA"' -T fields -e udp.dstport | sort -u)" "$(T -Y 'velmora.sync.data_port' -T fields -e velmora.sync.data_port)"
  T -Y 'velmora.sync.resent == 0' -T fields -e velmora.sync.seq >"$v/new.txt"
  check "dissector: new packets numbered 0, 1, 2..." awk 'NR - 1 != $1 { exit 1 }' "$v/new.txt"
  resent=$(count 'velmora.sync.resent == 1')
  check "dissector: resends and resend requests decoded" test "$resent" -gt 0 -a "$(count 'velmora.sync.first_missing')" -gt 0
  check "counters: sent = new packets on the wire" equal "$(counter "$v/appended.log" sent)" "$(wc -l <"$v/new.txt")"
  check "counters: resent = resent packets on the wire" equal "$(counter "$v/appended.log" resent)" "$resent"
  check "counters: info = info requests on the wire" equal "$(counter "$v/appended.log" info)" "$(count 'velmora.sync.info_request == 1 && velmora.sync.resent == 0')"
  check "counters: every resend request served was on the wire" test "$(counter "$v/appended.log" resends)" -le "$(count 'velmora.sync.first_missing')"

  # --- player: velmora-play's summary of the driver's counters ---
  stream player "${play[@]}"
  p=$WORK/player
  summary() { sed -n "s/^  $1 *//p" "$p/play.log"; }
  check "player: counters in its progress line" has "$p/play.log" 'underruns [0-9]+  sent [0-9]+'
  sent=$(summary 'data packets sent')
  check "player: data packets sent = packets the sink got or missed" equal "$sent" \
    "$(( $(report "$p" packets_delivered) + $(report "$p" never_recovered) ))"
  check "player: sent and resent = every data packet at the sink, dropped ones included" equal \
    "$(( sent + $(summary 'packets resent') ))" "$(( $(report "$p" packets_received) + $(report "$p" dropped) ))"
else
  # --- wine: the Windows driver and velmora-log.exe, off a terminal ---
  export WINEPREFIX="$WORK/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$wine" wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  "$wine" regsvr32 /s "$("$wine" winepath -w "$WINDOWS/src/com/module/ASIOVelmora.dll" 2>/dev/null)" >/dev/null 2>&1
  appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
  [ -d "$appdata" ] || appdata="$WINEPREFIX/drive_c/users/$(id -un)/Application Data"
  SETTINGS="$appdata/TOLVENIK Velmora"
  w=$WORK/wine
  mkdir -p "$w"
  "$wine" "$WINDOWS/tools/velmora-log/velmora-log.exe" --level info --append 'C:\appended.log' --idle 4 --seconds 90 \
    >"$w/shown.txt" 2>"$w/viewer-errors.txt" &
  shown=$!
  wait_for "$w/viewer-errors.txt" 'listening on'
  stream wine "$wine" "$WINDOWS/tools/velmora-play/velmora-play.exe"
  wait "$shown"
  cp "$WINEPREFIX/drive_c/appended.log" "$w/appended.log" 2>/dev/null
  scripts/wine-stop.sh
  check "wine viewer: lines with local time and severity name" has "$w/shown.txt" '^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]{3} info +Velmora Sync Library ReleaseNo : 100'
  check "wine viewer: detail lines filtered out" lacks "$w/shown.txt" 'sendAck\['
  check "wine viewer: counter lines with their changes" has "$w/shown.txt" ' info +counters sent [0-9]+ \(\+[0-9]+\)  resent'
  check "wine viewer: appended lines as received" has "$w/appended.log" '^<134>[A-Z][a-z]{2} [0-9]{2} [0-9:]{8} localhost counters sent='
  check "wine viewer: the driver's counters tell what the sink got" test "$(counter "$w/appended.log" sent)" -gt 0
fi
echo "diagnostics $MODE: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
INSIDE

mode=native; [ -n "$windows" ] && mode=wine
cat >"$work/env.sh" <<ENV
export MODE=$mode NATIVE=$native WINDOWS=$windows WORK=$work LUA=$PWD/tools/wireshark/velmora.lua
ENV
tests/netns/testnet.sh --sinks 1 --timeout 300 -- bash -c "source $work/env.sh && bash $work/inside.sh"
