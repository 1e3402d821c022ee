#!/usr/bin/env bash
# The settings dialog under Wine on a virtual X display, inside the test network: two sinks
# (the second with a non-ASCII description), velmora-panel.exe beside ASIOVelmora.dll lists
# both, a scripted choice of the second (which discovery alone would not take) is applied,
# and the driver's next init, by velmora-play.exe, plays to that sink, checked bit for bit.
# Then the driver's controlPanel opens the dialog, which chooses the first sink: the driver
# initialises again and plays there.
# Screenshots of the open dialog's pages are kept in SHOT_DIR.
#
# Usage: tests/netns/testnet.sh --sinks 2 -- tests/panel/wine-panel.sh \
#            NATIVE_BUILD_DIR WINDOWS_BUILD_DIR WINEPREFIX_DIR SHOT_DIR
# Exit status 0 when every step passed; a dialog that does not appear within
# $window_wait seconds fails the test.
set -u
native=$1 windows=$2 prefix=$(realpath -m "$3") shots=$(realpath -m "$4")
here=$(cd "$(dirname "$0")/../.." && pwd)
window_wait=60
[ -n "${VELMORA_TESTNET_SINKS:-}" ] || { echo "run me through tests/netns/testnet.sh" >&2; exit 2; }
for tool in Xvfb import xwininfo; do
  command -v $tool >/dev/null || { echo "wine-panel: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 77; }
done
set -- $VELMORA_TESTNET_SINKS
work=$(mktemp -d /tmp/velmora-panel.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "wine-panel: FAILED: $*" >&2; exit 1; }

module_dir=$windows/src/com/module
sink=$native/tools/velmora-sink/velmora-sink
wine=/usr/lib/wine/wine64
title="TOLVENIK Velmora settings"
second="K\xc3\xbcche \xc3\x85sa"   # "Küche Åsa"
second=$(printf "$second")

# Sinks 1 (fe80::101, found first) and 2 (fe80::102).
ip netns exec "$1" "$sink" --listen :: --port 4000 --find --find-description "Wohnzimmer" \
  --raw-out "$work/raw1" --time-limit 200 --idle-timeout 3 --quiet >"$work/sink1.log" 2>&1 &
pids+=($!)
ip netns exec "$2" "$sink" --listen :: --port 4000 --find --find-description "$second" \
  --raw-out "$work/raw2" --time-limit 200 --idle-timeout 3 --quiet >"$work/sink2.log" 2>&1 &
pids+=($!)

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"

# A fresh prefix of this namespace; with no window manager Wine draws the window frames itself.
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
appdata="$prefix/drive_c/users/$(id -un)/AppData/Roaming"
[ -d "$appdata" ] || appdata="$prefix/drive_c/users/$(id -un)/Application Data"
settings="$appdata/TOLVENIK Velmora/setting.inf"

# run_panel NAME OPTIONS...: the dialog until it closes itself; a screenshot NAME.png of it.
run_panel() {
  local name=$1; shift
  WINEDEBUG=fixme-all,err+all "$wine" "$module_dir/velmora-panel.exe" "$@" --close-after-ms 3000 >"$work/$name.log" 2>&1 &
  local panel=$! waited=0
  until xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\""; do
    [ $waited -ge $((window_wait * 10)) ] && { kill $panel; fail "no \"$title\" window within $window_wait s ($name)"; }
    if ! kill -0 $panel 2>/dev/null; then
      wait $panel
      fail "velmora-panel.exe ended (status $?) before its window appeared ($name): $(cat "$work/$name.log")"
    fi
    sleep 0.1; waited=$((waited + 1))
  done
  sleep 1.5   # the search (well under a second) has ended and the list is painted
  mkdir -p "$shots"
  import -window "$title" "$shots/$name.png" || fail "no screenshot of the dialog ($name)"
  timeout 30 tail --pid=$panel -f /dev/null || fail "velmora-panel.exe did not close ($name)"
}

run_panel velmora-panel-sink --select 2 --apply --report "Z:$work/report.txt"
cat "$work/report.txt"
# The list as the control holds it: Automatic, then both sinks in address order, the
# chosen one selected and, once applied, in use; the non-ASCII description intact.
grep -q "^Automatic: the first sink found	" "$work/report.txt" || fail "no Automatic row"
sed -n 2p "$work/report.txt" | grep -q "^Wohnzimmer	1	fe80::101%.* port 4000	1		" || fail "sink 1 not listed first, unmarked"
sed -n 3p "$work/report.txt" | grep -q "^$second	1	fe80::102%.* port 4000	1	in use	.*selected$" ||
  fail "sink 2 not listed as chosen and in use"
grep -q "^status	2 outputs found on 2 sinks." "$work/report.txt" || fail "wrong search status"
tr -d '\r' <"$settings" | grep -qx "TargetAddress=fe80::102,19642" || fail "TargetAddress not written: $(cat "$settings")"
tr -d '\r' <"$settings" | grep -qx "TargetPO=1" || fail "TargetPO not written"

# The driver's next init plays to the chosen sink, not to the one discovery finds first.
timeout 60 "$wine" "$windows/tools/velmora-play/velmora-play.exe" --module "$module_dir/ASIOVelmora.dll" \
  --pattern counter --seconds 2 --channels 2 --quiet >"$work/play.log" 2>&1 || fail "velmora-play.exe: $(cat "$work/play.log")"
grep -q "$second" "$work/play.log" || fail "the driver did not name the chosen sink: $(cat "$work/play.log")"
sleep 4   # the sink ends its capture once the stream has been quiet for 3 s
"$native/tools/velmora-check/velmora-check" "$work/raw2" --channels 2 --min-steps 2000 || fail "sink 2 did not get the stream"
[ ! -s "$work/raw1" ] || fail "sink 1 got audio"

# The host's settings button: the driver opens the dialog (which takes its steps from
# VELMORA_PANEL_TEST), waits for it, reads the changed settings and initialises again: now it
# plays to sink 1, chosen in the dialog.
# Sink 2, the target in use, ended with its stream: it answers init again.
ip netns exec "$2" "$sink" --listen :: --port 4000 --find --find-description "$second" \
  --time-limit 100 --quiet >"$work/sink2-again.log" 2>&1 &
pids+=($!)
sleep 0.5
VELMORA_PANEL_TEST="--select 1 --apply --close-after-ms 500" timeout 90 "$wine" \
  "$windows/tools/velmora-play/velmora-play.exe" --module "$module_dir/ASIOVelmora.dll" --control-panel \
  --pattern counter --seconds 2 --channels 2 --quiet >"$work/play-panel.log" 2>&1 ||
  fail "velmora-play.exe --control-panel: $(cat "$work/play-panel.log")"
grep -q "^panel: *settings changed, driver initialised again" "$work/play-panel.log" ||
  fail "the driver did not initialise again after its panel: $(cat "$work/play-panel.log")"
grep -q "^driver: *Wohnzimmer" "$work/play-panel.log" || fail "the driver did not change to sink 1: $(cat "$work/play-panel.log")"
sleep 4
"$native/tools/velmora-check/velmora-check" "$work/raw1" --channels 2 --min-steps 2000 || fail "sink 1 did not get the stream"
tr -d '\r' <"$settings" | grep -qx "TargetAddress=fe80::101,19642" || fail "TargetAddress of sink 1 not written"

# The other pages, to be looked at.
run_panel velmora-panel-settings --page 1
run_panel velmora-panel-advanced --page 2
"$here/scripts/wine-stop.sh" "$prefix"
echo "wine panel passed; screenshots in $shots"
