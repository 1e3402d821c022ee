#!/usr/bin/env bash
# Builds an isolated IPv6 test network out of network namespaces, runs one command in
# its host namespace, and removes everything again (on exit, failure, signal or timeout).
#
# Usage: testnet.sh [--sinks N] [--segments 1|2] [--place LIST] [--timeout SECONDS] -- command [args...]
#
# Layout (all names carry a per-run prefix, so parallel runs never clash):
#   switch namespace  one bridge per segment (no STP, no multicast snooping)
#   host namespace    one veth link per segment: "link1", "link2", addresses fe80::1, fe80::2
#   sink namespaces   one per sink; sink k on segment s has link "seg<s>" with fe80::<s>0<k:02x>
# Every address is set statically without duplicate address detection, so links are usable
# as soon as the script hands over. Each namespace has lo up and resolv.conf "nameserver ::1"
# (Wine's adapter list needs an IPv6 name server).
#
# --place gives each sink's segments, space separated, e.g. "1 1 2 12": sinks 1 and 2 on
# segment 1, sink 3 on segment 2, sink 4 on both. Default: every sink on segment 1.
#
# The command runs in the host namespace with these variables:
#   VELMORA_TESTNET_HOST    host namespace name
#   VELMORA_TESTNET_SINKS   sink namespace names, space separated, sink 1 first
#   VELMORA_TESTNET_LINKS   host interface names, segment 1 first
#   VELMORA_TESTNET_PLACE   the placement list
# Commands may start processes in a sink namespace with "ip netns exec NAME ..."; whatever
# still runs in the namespaces when the command ends is stopped before they are removed.
#
# Exit status: the command's; 77 (skip) when namespaces cannot be made here (not root, no
# ip, no veth/bridge support); 124 when the timeout struck.

set -uo pipefail

sinks=1
segments=1
place=""
timeout_s=300
while [ $# -gt 0 ]; do
  case "$1" in
    --sinks) sinks=$2; shift 2 ;;
    --segments) segments=$2; shift 2 ;;
    --place) place=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "testnet: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ $# -eq 0 ]; then echo "testnet: no command given" >&2; exit 2; fi
case "$segments" in 1|2) ;; *) echo "testnet: --segments must be 1 or 2" >&2; exit 2 ;; esac
if [ -z "$place" ]; then
  place=$(for ((k = 1; k <= sinks; k++)); do printf '1 '; done)
fi
read -r -a placement <<<"$place"
if [ "${#placement[@]}" -ne "$sinks" ]; then
  echo "testnet: --place names ${#placement[@]} sinks, --sinks says $sinks" >&2; exit 2
fi

skip() { echo "testnet: SKIPPED: $*" >&2; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "network namespaces need root"
command -v ip >/dev/null 2>&1 || skip "the ip command is missing"

prefix="vn$$"
hostns="${prefix}h"
switchns="${prefix}w"
sinkns=()
for ((k = 1; k <= sinks; k++)); do sinkns+=("${prefix}s$k"); done
made=()   # namespaces created so far, removed by cleanup

cleanup() {
  trap - EXIT INT TERM HUP
  local ns pid
  for ns in "${made[@]}"; do
    # Stop what still runs in our namespaces (processes started by this run only).
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -TERM "$pid" 2>/dev/null; done
  done
  for ns in "${made[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    # Deleting can fail for a moment while a process of the namespace is still exiting.
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
      ip netns del "$ns" 2>/dev/null
      [ -e "/run/netns/$ns" ] || break
      sleep 0.2
    done
    [ -e "/run/netns/$ns" ] && echo "testnet: could not remove namespace $ns" >&2
    rm -rf "/etc/netns/$ns"
  done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

in_ns() { local ns=$1; shift; ip netns exec "$ns" "$@"; }
ip_in() { local ns=$1; shift; ip -n "$ns" "$@"; }   # no mount namespace: much faster

make_ns() {
  local ns=$1
  ip netns add "$ns" 2>/dev/null || return 1
  made+=("$ns")
  mkdir -p "/etc/netns/$ns" && echo "nameserver ::1" >"/etc/netns/$ns/resolv.conf"
  in_ns "$ns" sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0 \
    net.ipv6.conf.all.disable_ipv6=0 net.ipv6.conf.default.disable_ipv6=0 >/dev/null || return 1
  ip_in "$ns" link set lo up
}

# link NS IFNAME ADDRESS SEGMENT: a veth from NS into the switch's bridge of SEGMENT.
link_into_switch() {
  local ns=$1 ifname=$2 address=$3 segment=$4
  local port="p${#made[@]}x$RANDOM"
  ip link add "$ifname" netns "$ns" type veth peer name "$port" netns "$switchns" || return 1
  ip_in "$switchns" link set "$port" master "br$segment" up || return 1
  ip_in "$ns" link set "$ifname" addrgenmode none || return 1
  ip_in "$ns" link set "$ifname" up || return 1
  ip_in "$ns" -6 addr add "$address/64" dev "$ifname" nodad || return 1
}

build() {
  make_ns "$switchns" || return 1
  local s k seg
  for ((s = 1; s <= segments; s++)); do
    ip_in "$switchns" link add "br$s" type bridge stp_state 0 forward_delay 0 mcast_snooping 0 \
      || return 1
    ip_in "$switchns" link set "br$s" addrgenmode none 2>/dev/null
    ip_in "$switchns" link set "br$s" up || return 1
  done
  make_ns "$hostns" || return 1
  for ((s = 1; s <= segments; s++)); do
    link_into_switch "$hostns" "link$s" "fe80::$s" "$s" || return 1
  done
  for ((k = 1; k <= sinks; k++)); do
    make_ns "${sinkns[k - 1]}" || return 1
    seg=${placement[k - 1]}
    for ((i = 0; i < ${#seg}; i++)); do
      s=${seg:i:1}
      if [ "$s" -lt 1 ] || [ "$s" -gt "$segments" ]; then
        echo "testnet: sink $k placed on missing segment $s" >&2; return 1
      fi
      link_into_switch "${sinkns[k - 1]}" "seg$s" "$(printf 'fe80::%d%02x' "$s" "$k")" "$s" || return 1
    done
  done
}

# Ready when no address anywhere is tentative and every bridge port forwards.
wait_ready() {
  local deadline=$((SECONDS + 10)) ns busy
  while [ $SECONDS -lt $deadline ]; do
    busy=0
    for ns in "${made[@]}"; do
      if [ -n "$(ip_in "$ns" -6 addr show tentative 2>/dev/null)" ]; then busy=1; fi
    done
    if ip_in "$switchns" -o link show type veth 2>/dev/null | grep -q 'state DOWN\|LOWERLAYERDOWN'; then
      busy=1
    fi
    [ $busy -eq 0 ] && return 0
    sleep 0.05
  done
  return 1
}

if ! build; then
  # Failing for lack of permissions or kernel support is a skip; anything else is an error.
  if [ ${#made[@]} -eq 0 ]; then skip "cannot create network namespaces"; fi
  skip "cannot build the test links (veth/bridge support missing?)"
fi
wait_ready || { echo "testnet: links did not become ready" >&2; exit 1; }

links=$(for ((s = 1; s <= segments; s++)); do printf 'link%d ' "$s"; done)
export VELMORA_TESTNET_HOST="$hostns"
export VELMORA_TESTNET_SINKS="${sinkns[*]}"
export VELMORA_TESTNET_LINKS="${links% }"
export VELMORA_TESTNET_PLACE="$place"

# The command runs in the background so that signals reach this script's traps at once.
timeout --kill-after=5 "$timeout_s" ip netns exec "$hostns" "$@" &
child=$!
wait "$child"
status=$?
exit $status
