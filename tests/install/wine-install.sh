#!/usr/bin/env bash
# Installs the Windows package the way INSTALL.txt tells a user to, under a fresh Wine prefix
# inside the test network, and checks every step a user would see.
#
# Usage: tests/netns/testnet.sh --sinks 1 -- tests/install/wine-install.sh NATIVE_BUILD WINDOWS_BUILD
# Exits 0 when every step passed.
set -uo pipefail
native=$(realpath "$1") windows=$(realpath "$2")
[ -n "${VELMORA_TESTNET_SINKS:-}" ] || { echo "run me through tests/netns/testnet.sh" >&2; exit 2; }
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/velmora-install.XXXXXX)
wine=/usr/lib/wine/wine64
cleanup() { "$here/scripts/wine-stop.sh" "$work/prefix"; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
step() { echo "--- $*"; }

step "package"
"$here/scripts/package.sh" "$native" "$windows" "$work/package" >/dev/null || fail "scripts/package.sh"
zip=$(ls "$work"/package/velmora-*-win64.zip)

step "fresh prefix"
# Its own prefix, so that its wineserver runs in this namespace and sees the test links. Paths
# reach Wine as UTF-8.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
"$wine" wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w

step "unpack into C:\\Program Files\\Velmora Åudio"
folder="$WINEPREFIX/drive_c/Program Files/Velmora Åudio"
mkdir -p "$work/unpacked" && (cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "unpacking $zip"
mv "$work"/unpacked/velmora-*-win64 "$folder" || fail "moving the folder"
dll='C:\Program Files\Velmora Åudio\ASIOVelmora.dll'

step "regsvr32"
"$wine" regsvr32 /s "$dll" || fail "regsvr32 reported failure ($?)"
class='HKEY_CLASSES_ROOT\CLSID\{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}\InprocServer32'
driver='HKEY_LOCAL_MACHINE\SOFTWARE\ASIO\TOLVENIK Velmora'
"$wine" reg query "$driver" /v CLSID 2>/dev/null | grep -q '{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}' ||
  fail "no ASIO driver entry"
# regedit exports UTF-16 (reg's console output would be in an OEM code page).
"$wine" regedit /E 'C:\class.reg' "$class" >/dev/null 2>&1
server=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/class.reg" | tr -d '\r' | sed -n 's/^@="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
echo "InprocServer32: $server"
[ "$server" = 'c:\program files\velmora Åudio\asiovelmora.dll' ] || fail "the class entry names another file"

step "velmora-play.exe --pattern counter to the sink, checked bit for bit"
sink_ns=${VELMORA_TESTNET_SINKS%% *}
ip netns exec "$sink_ns" "$native/tools/velmora-sink/velmora-sink" --listen :: --port 4000 --find \
  --raw-out "$work/raw" --time-limit 60 --idle-timeout 3 --quiet >"$work/sink.log" 2>&1 &
sink_pid=$!
sleep 0.5
# The host finds the driver as hosts do: the ASIO list, then COM, which loads the registered file.
timeout 60 "$wine" "$folder/velmora-play.exe" --pattern counter --seconds 2 --quiet >"$work/play.log" 2>&1
play=$?
wait "$sink_pid"
cat "$work/play.log"
[ $play -eq 0 ] || fail "velmora-play.exe exited $play"
channels=$(sed -n 's/^format: .* \([0-9]*\) of .*/\1/p' "$work/play.log")
"$native/tools/velmora-check/velmora-check" "$work/raw" --channels "${channels:-0}" --min-steps 2000 \
  --host-bytes 4 --wire-bytes 4 || fail "the sink did not receive the counter pattern exactly"

step "regsvr32 /u"
"$wine" regsvr32 /u /s "$dll" || fail "regsvr32 /u reported failure ($?)"
for key in "$driver" "${class%\\InprocServer32}"; do
  "$wine" reg query "$key" >/dev/null 2>&1 && fail "left behind: $key"
done
echo "install test passed"
