#!/usr/bin/env bash
# Recovery end to end: velmora-play --pattern counter through the driver to velmora-sink in the
# test network while the sink goes away and comes back, natively or with the real DLL under Wine.
#
# Usage: tests/e2e/recovery.sh NATIVE_BUILD [--wine WINDOWS_BUILD] [--cycles N] [--case NAME]
#   --cycles N   faults per case in one play run (default 1); with 3 or more, what the player's
#                process holds after the second gap and after the last must be the same
#   --case NAME  killed, silent, closed, link or noreset (default: all)
#
# The cases, each a fault 2 s into play and again every 7 s:
#   killed   the sink is killed (SIGKILL) and started again 2 s later
#   silent   the sink answers nothing, Find included, for 3 s (SIGUSR1)
#   closed   the sink closes the stream (DSICONNECT_ANS, SIGUSR2)
#   link     the host's link goes down for 2 s (ip link set ... down)
#   noreset  the sink closes the stream, the player does not take reset requests
# Stated bounds, checked for every fault:
#   - the host is never without a callback for more than GAP_MS (300 ms, under Wine 500 ms)
#     while a driver runs;
#   - the reset request comes at most TOLD_S after the fault;
#   - the callbacks of the restarted driver come at most BACK_S after the sink (or link) is back;
#   - the sink's captures are bit-exact before and after each gap, resuming exactly at the frame
#     the player reports (velmora-check --resume-at);
#   - noreset: no gap at all, the callbacks simply go on.
# Exit status: 0 when every case held, 1 otherwise, 77 when namespaces cannot be made here.
set -uo pipefail
cd "$(dirname "$0")/../.."
native=$(realpath "${1:?native build directory}"); shift
windows=""; cycles=1; only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --wine) windows=$(realpath "$2"); shift 2 ;;
    --cycles) cycles=$2; shift 2 ;;
    --case) only=$2; shift 2 ;;
    *) echo "recovery: unknown option $1" >&2; exit 2 ;;
  esac
done
cases="killed silent closed link noreset"
[ -n "$only" ] && cases=$only

work=$(mktemp -d /tmp/velmora-recovery.XXXXXX)
[ -n "${RECOVERY_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
mode=native; [ -n "$windows" ] && mode=wine

cat >"$work/inside.sh" <<'INSIDE'
set -u
source "$R_WORK/env.sh"
GAP_MS=300 TOLD_S=2.5 BACK_S=5
# Under Wine the driver's threads wait on wineserver's timers and sockets: a loaded machine
# stretches a callback interval more than natively.
[ "$MODE" = wine ] && GAP_MS=500
sink_ns=${VELMORA_TESTNET_SINKS%% *}
link=${VELMORA_TESTNET_LINKS%% *}
# A link taken down loses its address; it is given back when the link comes up (a PC makes
# its link-local address again by itself).
link_address=$(ip -6 -o addr show dev "$link" scope link | awk '{ print $4; exit }')
source scripts/driver-setup.sh
driver_setup "$R_WORK"
printf 'Version=1_100_0\r\nSyncBufferCount=16\r\n' >"$settings_dir/setting.inf"

now() { date +%s.%N; }
later() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", b - a }'; }   # b - a
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
start_sink() {   # capture number
  ip netns exec "$sink_ns" "$NATIVE/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find --streams 0 \
    --silent-ms 3000 --idle-timeout 2 --raw-out "$dir/raw$1" --time-limit 600 --quiet >>"$dir/sink.log" 2>&1 &
  sink_pid=$!
  captures+=("$dir/raw$1")
}
play() {   # seconds, extra options
  if [ "$MODE" = wine ]; then
    timeout $(( $1 + 60 )) "$wine" "$WINDOWS/tools/velmora-play/velmora-play.exe" --pattern counter --channels 2 \
      --seconds "$1" --quiet "${@:2}" >"$dir/play.log" 2>&1
  else
    timeout $(( $1 + 60 )) "$NATIVE/tools/velmora-play/velmora-play" --module "$NATIVE/src/com/module/libASIOVelmora.so" \
      --pattern counter --channels 2 --seconds "$1" --quiet "${@:2}" >"$dir/play.log" 2>&1
  fi
}

passed=0; failed=0
for name in $CASES; do
  dir="$R_WORK/$name"; mkdir -p "$dir"
  captures=(); faults=(); backs=(); problems=()
  start_sink 1
  sleep 0.5
  player_options=(); [ "$name" = noreset ] && player_options=(--no-reset)
  # Play ends 12 s after the last fault's cycle begins: the first audio, 1.5 s, then the
  # fault and its recovery (the back-off tries at 1, 2 and 4 s after the loss).
  play $(( 7 * CYCLES + 5 )) "${player_options[@]}" &
  player=$!
  # Faults count from the first audio at the sink (Wine takes a while to start the player).
  for ((w = 0; w < 300; w++)); do [ -s "$dir/raw1" ] && break; sleep 0.1; done
  sleep 1.5
  for ((c = 1; c <= CYCLES; c++)); do
    fault=$(now)
    case $name in
      killed) kill -KILL "$sink_pid"; wait "$sink_pid" 2>/dev/null; sleep 2; start_sink $((c + 1)); back=$(now) ;;
      silent) kill -USR1 "$sink_pid"; back=$(later -3 "$fault") ;;
      closed|noreset) kill -USR2 "$sink_pid"; back=$fault ;;
      link) ip link set "$link" down; sleep 2; ip link set "$link" up
            ip -6 addr replace "$link_address" dev "$link" nodad; back=$(now) ;;
    esac
    faults+=("$fault"); backs+=("$back")
    sleep "$(later "$(now)" "$(later -7 "$fault")")"
  done
  wait "$player"; play_status=$?
  kill -TERM "$sink_pid" 2>/dev/null; wait "$sink_pid" 2>/dev/null

  # gap K: reset request at T, callbacks back at T (D s), resumed at frame F after R restarts, threads X handles Y: why
  mapfile -t gaps < <(grep '^gap [0-9]*: reset request at [0-9.]*, callbacks back' "$dir/play.log")
  longest=$(sed -n 's/^callbacks: *at most \([0-9.]*\) ms.*/\1/p' "$dir/play.log")
  [ $play_status -eq 0 ] || problems+=("player status $play_status")
  [ -n "$longest" ] && ! above "$longest" $GAP_MS || problems+=("callbacks ${longest:-?} ms apart")
  expected=$CYCLES; [ "$name" = noreset ] && expected=0
  [ ${#gaps[@]} -eq $expected ] || problems+=("${#gaps[@]} gaps reported, $expected expected")
  resume=(); told_list=(); back_list=(); usage=()
  for ((k = 0; k < ${#gaps[@]} && k < ${#faults[@]}; k++)); do
    read -r request returned frame threads handles <<<"$(sed -E 's/.*request at ([0-9.]+), callbacks back at ([0-9.]+) .*frame ([0-9]+) .*threads ([0-9]+) handles ([0-9]+).*/\1 \2 \3 \4 \5/' <<<"${gaps[k]}")"
    told=$(later "${faults[k]}" "$request"); back=$(later "${backs[k]}" "$returned")
    told_list+=("$told"); back_list+=("$back"); resume+=("$frame"); usage+=("$threads/$handles")
    above "$told" $TOLD_S && problems+=("gap $((k + 1)): told after $told s")
    above "$back" $BACK_S && problems+=("gap $((k + 1)): back $back s after the sink")
  done
  if [ ${#usage[@]} -ge 3 ] && [ "${usage[1]}" != "${usage[${#usage[@]} - 1]}" ]; then
    problems+=("threads/handles ${usage[1]} after gap 2, ${usage[${#usage[@]} - 1]} after the last")
  fi
  resume_list=$(IFS=,; echo "${resume[*]}")
  if ! "$NATIVE/tools/velmora-check/velmora-check" "${captures[@]}" --channels 2 --min-steps 20000 \
       ${resume_list:+--resume-at "$resume_list"} >"$dir/check.log" 2>&1; then
    problems+=("capture: $(cat "$dir/check.log")")
  fi
  summary="told ${told_list[*]:-none} s, back ${back_list[*]:-none} s, callbacks at most ${longest:-?} ms apart"
  [ ${#usage[@]} -ge 3 ] && summary+=", threads/handles ${usage[*]}"
  if [ ${#problems[@]} -eq 0 ]; then
    echo "PASS $MODE $name: $summary; $(cat "$dir/check.log")"
    passed=$((passed + 1))
  else
    echo "FAIL $MODE $name: $summary"
    printf '    %s\n' "${problems[@]}"
    sed 's/^/    /' "$dir/play.log" | tail -12
    failed=$((failed + 1))
  fi
done
driver_teardown
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
INSIDE

cat >"$work/env.sh" <<ENV
MODE=$mode
NATIVE=$native
WINDOWS=$windows
CYCLES=$cycles
CASES="$cases"
ENV
tests/netns/testnet.sh --sinks 1 --timeout $(( 120 + 60 * cycles * 5 )) -- env R_WORK="$work" bash "$work/inside.sh"
