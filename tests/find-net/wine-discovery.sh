#!/usr/bin/env bash
# Discovery by the Windows build of velmora-find, under Wine, inside the test network:
# two native responders in sink namespaces, velmora-find.exe in the host namespace (its
# wineserver starts there too, so Wine sees the test links, not the machine's own) asking the
# finder that ASIOVelmora.dll exports (DllVelmorafind).
#
# Usage: tests/netns/testnet.sh --sinks 2 -- tests/find-net/wine-discovery.sh \
#            NATIVE_BUILD_DIR WINDOWS_BUILD_DIR WINEPREFIX_DIR
# Exits 0 when both sinks and all three outputs are listed.
set -u
native=$1 windows=$2 prefix=$3
[ -n "${VELMORA_TESTNET_SINKS:-}" ] || { echo "run me through tests/netns/testnet.sh" >&2; exit 2; }
set -- $VELMORA_TESTNET_SINKS
responder=$native/tools/velmora-find-responder/velmora-find-responder
ip netns exec "$1" "$responder" --find-description "Wine A" --find-output "5001:1:Room" --find-output 5002 \
  --find-info "at [myaddress]" --time-limit 240 >/dev/null &
ip netns exec "$2" "$responder" --find-description "Wine B" --find-output 6001 --time-limit 240 >/dev/null &
sleep 0.5
here=$(cd "$(dirname "$0")/../.." && pwd)
out=$(timeout 200 "$here/scripts/wine-env.sh" "$prefix" "$windows/tools/velmora-find/velmora-find.exe" \
  --module "Z:$windows/src/com/module/ASIOVelmora.dll" --json)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "velmora-find.exe exited $status" >&2; exit 1; }
for want in '"description": "Wine A(Room)", "outputName": "", "outputIndex": 1, "streamAddress": "fe80::101", "port": 5001' \
            '"outputIndex": 2, "streamAddress": "fe80::101", "port": 5002' \
            '"description": "Wine B", "outputName": "", "outputIndex": 1, "streamAddress": "fe80::102", "port": 6001' \
            '"infoText": "at [fe80::101]"'; do
  grep -qF "$want" <<<"$out" || { echo "missing: $want" >&2; exit 1; }
done
echo "wine discovery passed"
