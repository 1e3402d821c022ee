#!/usr/bin/env bash
# Checks testnet.sh itself: the layout it promises, and that nothing of it survives the
# command's end, a timeout or a signal.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
net=$here/testnet.sh
fail() { echo "FAIL: $*" >&2; exit 1; }

leftovers() { ip netns list 2>/dev/null | grep -c "^vn$1[hws]" || true; }

# Layout, seen from the host namespace.
out=$("$net" --sinks 2 --segments 2 --place "1 12" --timeout 30 -- bash -c '
  set -e
  echo "pid=$PPID"
  [ "$(ip netns identify $$)" = "$VELMORA_TESTNET_HOST" ] || { echo "not in host ns"; exit 3; }
  ip -6 -o addr show dev link1 | grep -q "fe80::1/64" || exit 4
  ip -6 -o addr show dev link2 | grep -q "fe80::2/64" || exit 5
  [ -z "$(ip -6 addr show tentative)" ] || exit 6
  ip -o link show lo | grep -q "UP" || exit 7
  grep -q "nameserver ::1" /etc/resolv.conf || exit 8
  set -- $VELMORA_TESTNET_SINKS
  ip netns exec $2 ip -6 -o addr show dev seg1 | grep -q "fe80::102/64" || exit 9
  ip netns exec $2 ip -6 -o addr show dev seg2 | grep -q "fe80::202/64" || exit 10
  ip netns exec $1 ip -o link show seg2 >/dev/null 2>&1 && exit 11
  echo ok')
status=$?
if [ $status -eq 77 ]; then echo "SKIPPED: no network namespaces here"; exit 77; fi
[ $status -eq 0 ] || fail "layout check exited $status: $out"
grep -q '^ok$' <<<"$out" || fail "layout check: $out"

# The command's status comes back; the namespaces are gone afterwards.
"$net" --timeout 30 -- bash -c 'exit 7'
[ $? -eq 7 ] || fail "exit status not passed through"

# Timeout: status 124, nothing left (sleep is the only process of its run).
"$net" --sinks 1 --timeout 1 -- bash -c 'ip netns exec ${VELMORA_TESTNET_SINKS} sleep 30 & sleep 30' &
runner=$!
wait $runner
[ $? -eq 124 ] || fail "timeout status"
[ "$(leftovers $runner)" -eq 0 ] || fail "namespaces left after timeout"

# Signal: the script cleans up on TERM.
"$net" --sinks 1 --timeout 60 -- sleep 30 &
runner=$!
for _ in $(seq 50); do [ "$(leftovers $runner)" -ge 3 ] && break; sleep 0.1; done
[ "$(leftovers $runner)" -ge 3 ] || fail "network did not come up"
kill -TERM $runner
wait $runner
[ "$(leftovers $runner)" -eq 0 ] || fail "namespaces left after TERM"
echo "testnet self-test passed"
