#!/usr/bin/env bash
# The same stream from two senders over the same veth pair of a test network, seen at the
# receiving end by tshark: JackTrip (P2P, JACK's dummy backend at 48 kHz with a 48-frame
# period, i.e. 1 ms, 2 channels, 32-bit) and velmora-play through the native driver to
# velmora-sink (48 kHz, 2 channels, 32-bit, its 1000 us cycle). For each: the sending side's
# processor time (jacktrip with its jackd; velmora-play, which holds the driver) and the
# packet arrival times at the receiver, written to OUT_DIR/<sender>/.
#
# Usage: bench/report/peer-jacktrip.sh NATIVE_BUILD OUT_DIR SECONDS
set -uo pipefail
cd "$(dirname "$0")/../.."
native=$(realpath "$1"); out=$(realpath -m "$2"); seconds=$3
mkdir -p "$out/jacktrip" "$out/velmora"
cat >"$out/inside.sh" <<'INSIDE'
set -u
sink_ns=${VELMORA_TESTNET_SINKS%% *}
link=${VELMORA_TESTNET_LINKS%% *}
peer_link=$(ip -n "$sink_ns" -o link show | awk -F': ' '$2 ~ /^seg1/ {print $2}' | cut -d@ -f1)
# Unique local addresses on the test link (JackTrip takes no interface scope).
ip addr add fd00:5e::1/64 dev "$link" nodad
ip -n "$sink_ns" addr add fd00:5e::2/64 dev "$peer_link" nodad
cpu_of() {   # utime + stime of a process, in clock ticks
  awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}
capture() {  # dir, filter: packets to the receiver for SECONDS_RUN; its process in $cap
  ip netns exec "$sink_ns" timeout $((SECONDS_RUN + 4)) tshark -q -i "$peer_link" -f "$2" -a duration:"$SECONDS_RUN" \
    -w "$1/capture.pcapng" >/dev/null 2>&1 &
  cap=$!
}
ticks=$(getconf CLK_TCK)

# JackTrip: a JACK server with the dummy backend on each side, the P2P server at the receiver.
export JACK_NO_AUDIO_RESERVATION=1
ip netns exec "$sink_ns" env JACK_DEFAULT_SERVER=vrecv jackd -n vrecv -d dummy -r 48000 -p 48 >"$OUT/jacktrip/jackd-recv.log" 2>&1 &
jackd_recv=$!
JACK_DEFAULT_SERVER=vsend jackd -n vsend -d dummy -r 48000 -p 48 >"$OUT/jacktrip/jackd-send.log" 2>&1 &
jackd_send=$!
sleep 2
ip netns exec "$sink_ns" env JACK_DEFAULT_SERVER=vrecv jacktrip -s -n 2 -b 32 -q 4 -D >"$OUT/jacktrip/server.log" 2>&1 &
server=$!
sleep 1
JACK_DEFAULT_SERVER=vsend jacktrip -c fd00:5e::2 -n 2 -b 32 -q 4 -D >"$OUT/jacktrip/client.log" 2>&1 &
client=$!
sleep 2
capture "$OUT/jacktrip" "udp and src host fd00:5e::1"
c0=$(cpu_of $client); j0=$(cpu_of $jackd_send)
sleep "$SECONDS_RUN"
c1=$(cpu_of $client); j1=$(cpu_of $jackd_send)
wait "$cap"
echo "{\"seconds\": $SECONDS_RUN, \"sender_ticks\": $((c1 - c0)), \"server_ticks\": $((j1 - j0)), \"ticks_per_s\": $ticks, \"load\": $(cut -d' ' -f1 /proc/loadavg)}" >"$OUT/jacktrip/cpu.json"
kill "$client" "$server" 2>/dev/null; sleep 0.5; kill "$jackd_send" "$jackd_recv" 2>/dev/null
wait "$client" "$server" "$jackd_send" "$jackd_recv" 2>/dev/null

# Velmora: the native driver through velmora-play to velmora-sink.
export XDG_CONFIG_HOME="$OUT/velmora/config"
mkdir -p "$XDG_CONFIG_HOME/TOLVENIK Velmora"
printf 'Version=1_100_0\r\n' >"$XDG_CONFIG_HOME/TOLVENIK Velmora/setting.inf"
ip netns exec "$sink_ns" "$NATIVE/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
  --report "$OUT/velmora/report.json" --time-limit $((SECONDS_RUN + 30)) --idle-timeout 3 --quiet >/dev/null 2>&1 &
sink=$!
sleep 0.5
"$NATIVE/tools/velmora-play/velmora-play" --module "$NATIVE/src/com/module/libASIOVelmora.so" --pattern sine \
  --channels 2 --rate 48000 --seconds $((SECONDS_RUN + 4)) --quiet >"$OUT/velmora/play.log" 2>&1 &
play=$!
sleep 2
capture "$OUT/velmora" "udp and dst port 4000"
p0=$(cpu_of $play)
sleep "$SECONDS_RUN"
p1=$(cpu_of $play)
wait "$cap"
echo "{\"seconds\": $SECONDS_RUN, \"sender_ticks\": $((p1 - p0)), \"server_ticks\": 0, \"ticks_per_s\": $ticks, \"load\": $(cut -d' ' -f1 /proc/loadavg)}" >"$OUT/velmora/cpu.json"
wait "$play"; wait "$sink"
INSIDE
tests/netns/testnet.sh --sinks 1 --timeout 600 -- env OUT="$out" NATIVE="$native" SECONDS_RUN="$seconds" bash "$out/inside.sh"
