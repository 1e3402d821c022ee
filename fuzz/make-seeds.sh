#!/usr/bin/env bash
# Remakes the seed corpora in fuzz/corpus/ from a capture of one end-to-end run (the driver
# streaming to velmora-sink in the test network, VELMORA_SINK_CAPTURE set): the datagrams the
# driver sent seed the sink-side targets as they are; the sink's answers, in the order they
# went out, are packed into the answer records of the driver-side targets
# (fuzz/support/ReplyScript.h). Needs root for the test network and a built build/linux.
set -euo pipefail
cd "$(dirname "$0")/.."
capture=$(mktemp -d /tmp/velmora-capture.XXXXXX)
trap 'rm -rf "$capture"' EXIT
chmod 777 "$capture"
VELMORA_SINK_CAPTURE=$capture tests/e2e/e2e.sh build/linux --case pcm32-2ch-44k >/dev/null

corpus=fuzz/corpus
rm -rf "$corpus"; mkdir -p "$corpus"
command_of() { od -An -tu2 -j4 -N2 "$1" | tr -d ' '; }
u16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8)))"; }
# One answer record: one datagram from the address asked, unstamped.
record() { printf '\x01\x00'; u16 "$(stat -c %s "$1")"; cat "$1"; }
keep() {   # target file
  mkdir -p "$corpus/$1"
  cp "$2" "$corpus/$1/$(sha1sum "$2" | cut -c1-16)"
}

# Sink-side targets and the frame readers: what the driver sent, a few of each command.
declare -A seen=()
for f in "$capture"/*-in; do
  side=$(basename "$f" | cut -d- -f2); cmd=$(command_of "$f")
  n=${seen[$side$cmd]:-0}; [ "$n" -lt 3 ] || continue; seen[$side$cmd]=$((n + 1))
  keep FrameFuzz "$f"
  if [ "$side" = find ]; then keep SinkFindFuzz "$f"; elif [ "$cmd" != 10 ]; then keep SinkControlFuzz "$f"; fi
done

# The sink's data side: the first 200 data packets, 1 ms apart, as one stream.
data=$capture/data.seed
printf '\x01\x00' >"$data"
for f in $(ls "$capture"/*-sync-in | head -400); do
  [ "$(command_of "$f")" = 10 ] || continue
  printf '\x00'; u16 1000; u16 "$(stat -c %s "$f")"; cat "$f"
done >>"$data"
keep SinkDataFuzz "$data"

# Driver side: getInfo's answers (up to CONNECT), then format 0, cycle 1000, limit 500, FixAuto.
info=$capture/getinfo.seed
{ u16 0; printf '\x00'
  for f in "$capture"/*-sync-out; do
    if [ "$(command_of "$f")" = 19 ]; then break; fi   # CONNECTPRE: getInfo is over
    record "$f"
  done
  printf '\x00'; u16 1000; u16 500; printf '\x02\x00'; } >"$info"
keep GetInfoFuzz "$info"

# Find answers in the order they went out (the multicast passes, the name, the outputs).
find=$capture/find.seed
{ printf '\x00'; for f in "$capture"/*-find-out; do record "$f"; done; } >"$find"
keep FindAnswersFuzz "$find"

# The worker: connect flags, format 0, then the status messages of the stream, one per record.
worker=$capture/worker.seed
{ u16 0; printf '\x00'
  for f in "$capture"/*-sync-out; do
    if [ "$(command_of "$f")" = 11 ]; then record "$f"; fi
  done | head -c 20000; } >"$worker"
keep WorkerStatusFuzz "$worker"

# Texts: the settings file and addresses of the end-to-end runs.
mkdir -p "$corpus/SettingsFuzz" "$corpus/AddressFuzz"
printf 'Version=1_100_0\r\nSyncBufferCount=16\r\nPCMRequest=CovertS32\r\nFindIP=fe80::1;fe80::2%%3\r\n[LOW]\r\nCycleTime=2000\r\n' \
  >"$corpus/SettingsFuzz/e2e"
for a in 'fe80::101' 'fe80::1%2,4000' '::ffff:10.0.0.1' '127.0.0.1,19642' '::' 'ff02::1'; do
  printf '%s' "$a" >"$corpus/AddressFuzz/$(printf '%s' "$a" | sha1sum | cut -c1-16)"
done
du -sh "$corpus"; for d in "$corpus"/*; do echo "$(basename "$d"): $(ls "$d" | wc -l)"; done
