#!/usr/bin/env bash
# The Wireshark dissector on crafted datagrams: every kind of field it decodes, and malformed
# frames flagged with expert info instead of being decoded.
# Usage: dissector-frames.sh   (exit 0 all as expected, 1 otherwise, 77 without tshark)
set -uo pipefail
cd "$(dirname "$0")/../.."
lua=$PWD/tools/wireshark/velmora.lua
command -v tshark >/dev/null && command -v text2pcap >/dev/null && command -v mergecap >/dev/null || { echo "SKIPPED: no tshark"; exit 77; }
work=$(mktemp -d /tmp/velmora-dissector.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0; failed=0

# name | source port > destination port | hex of each datagram ("/" between datagrams) |
# fields of the last datagram | their expected values ("|" between fields, ";" between repeats)
cases=(
  "find answer|19642>40000|64 00 1c 00 01 00 01 00 50 41 4c 55 44 52 49 4e 53 69 6e 6b 00 00 00 00|velmora.command_name velmora.find.product velmora.find.description velmora.valid|FIND_ANS|PALUDRIN|Sink|1"
  "output answer|19642>40000|64 00 1c 00 03 00 01 00 01 00 00 00 a0 0f 01 00 6f 75 74 31 00 00 00 00|velmora.find.output_port velmora.find.output_version velmora.find.output_name|4000|1|out1"
  "DSD format|40000>4000|64 00 10 00 08 00 00 00 02 00 a1 02 02 02 00 00|velmora.format.channels velmora.format.type velmora.format.dsd_order velmora.format.dsd_byte_order velmora.format.rate _ws.expert.message|2|dsd1|MSB first|big-endian|2822400|"
  "DSD format too slow|40000>4000|64 00 10 00 08 00 00 00 02 00 a1 02 02 01 00 00|velmora.format.rate _ws.expert.message|1411200|Not a valid stream format"
  "signed feedback|4000>40000|64 00 10 00 0b 00 00 00 00 c0 00 00 00 00 00 00|velmora.sync.feedback.kind velmora.sync.feedback.sample velmora.sync.invert|2|-16384|0"
  "ratio feedback|4000>40000|64 00 10 00 0b 00 80 01 00 00 74 27 10 27 00 00|velmora.sync.feedback.kind velmora.sync.feedback.sample velmora.sync.invert|3|163|0"
  "resend request, invert|4000>40000|64 00 10 00 0b 00 08 01 00 00 e8 03 ea 03 00 00|velmora.sync.resend_request velmora.sync.first_missing velmora.sync.second_number velmora.sync.invert|1|1000|1002|1"
  "connect word|40000>4000|64 00 10 00 12 00 00 00 02 01 32 00 12 00 00 00|velmora.format.channels velmora.sync.category velmora.sync.latency velmora.format.rate|2|1|50|88200"
  "remote log line|19642>40000|64 00 1b 00 29 00 00 00 02 00 00 00 00 00 00 00 68 65 6c 6c 6f 00 00 00|velmora.command_name velmora.log.text|LOG_TEXT|hello"
  "data after its format|40000>4000|64 00 10 00 08 00 00 00 02 08 00 00 0a 00 00 00/64 00 24 00 0a 00 40 00 07 00 00 00 00 00 00 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 00 00 00 00|velmora.sync.seq velmora.sync.burst_end velmora.sync.info_request velmora.sync.frames velmora.sync.resent _ws.expert.message|7|1|0|1|0|Audio payload is not a whole number of frames"
  "resent packet|40000>4000|64 00 18 00 0a 00 00 00 09 00 00 00 00 00 00 00 01 02 03 04 05 06 07 08/64 00 18 00 0a 00 40 00 08 00 00 00 00 00 00 00 01 02 03 04 05 06 07 08 00 00 00 00 00 00 00 00|velmora.sync.seq velmora.sync.resent _ws.expert.message|8|1|Resent packet"
  "header cut short|40000>4000|64 00 10 00 08 00|velmora.valid velmora.command velmora.format.rate _ws.expert.message|0|8||Shorter than the 16-byte frame header"
  "length word too long|40000>4000|64 00 20 00 08 00 00 00 02 08 00 00 0a 00 00 00|velmora.valid velmora.format.rate _ws.expert.message|0||Length word says 32 bytes, 16 arrived"
  "pad beyond the payload|40000>4000|64 00 17 00 0a 00 00 00 05 00 00 00 00 00 00 00|velmora.valid velmora.sync.seq _ws.expert.message|0||Pad count 7, payload room 0"
  "not our magic|40000>19642|65 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00|velmora.valid velmora.command_name _ws.expert.message|0|FIND_REQ|Magic is not 100: not a Velmora frame"
  "pad not zero|40000>19642|64 00 1e 00 16 00 01 00 00 00 00 00 00 00 00 00 61 62 ff 00 00 00 00 00|velmora.find.client_name _ws.expert.message|ab|Pad bytes are not zero"
  "unknown command|40000>19642|64 00 10 00 1e 00 00 00 00 00 00 00 00 00 00 00|velmora.command velmora.command_name _ws.expert.message|30||Command unknown to this protocol"
)

# All cases in one capture, decoded by one tshark run (its start is the slow part); a case's
# fields are read from the row of its last datagram.
all_fields=(); rows=(); frames=0; pcaps=()
for i in "${!cases[@]}"; do
  IFS="|" read -r _ ports hex fields _ <<<"${cases[i]}"
  read -r source destination <<<"${ports/>/ }"
  IFS='/' read -r -a datagrams <<<"$hex"
  for d in "${datagrams[@]}"; do echo "0000 $d"; done >"$work/case$i.txt"
  text2pcap -q -6 fe80::1,fe80::101 -u "$source,$destination" "$work/case$i.txt" "$work/case$i.pcap" >/dev/null 2>&1
  pcaps+=("$work/case$i.pcap")
  frames=$((frames + ${#datagrams[@]})); rows[i]=$frames
  for f in $fields; do [[ " ${all_fields[*]} " == *" $f "* ]] || all_fields+=("$f"); done
done
mergecap -a -F pcap -w "$work/all.pcap" "${pcaps[@]}"
args=()
for f in "${all_fields[@]}"; do args+=(-e "$f"); done
tshark -X "lua_script:$lua" -r "$work/all.pcap" -T fields -E separator='|' -E aggregator=';' "${args[@]}" \
  >"$work/decoded.txt" 2>/dev/null

for i in "${!cases[@]}"; do
  IFS="|" read -r name _ _ fields _ <<<"${cases[i]}"
  expected=$(cut -d'|' -f5- <<<"${cases[i]}")
  row=$(sed -n "${rows[i]}p" "$work/decoded.txt")
  got=""
  for f in $fields; do
    for k in "${!all_fields[@]}"; do [ "${all_fields[k]}" = "$f" ] && break; done
    got+="|$(cut -d'|' -f$((k + 1)) <<<"$row")"
  done
  got=${got#|}
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
  else
    echo "FAIL $name: expected [$expected], decoded [$got]"
    failed=$((failed + 1))
  fi
done
echo "dissector frames: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
