#!/usr/bin/env bash
# What `make bench` needs beyond the build: matplotlib for Debian's own Python (the plots),
# JACK with its dummy backend and JackTrip (the peer the pacing is compared with).
# Non-interactive: jackd2 would ask whether to allow realtime priority; the answer is no.
set -euo pipefail
need=()
/usr/bin/python3 -c 'import matplotlib' 2>/dev/null || need+=(python3-matplotlib)
command -v jackd >/dev/null 2>&1 || need+=(jackd2)
command -v jacktrip >/dev/null 2>&1 || need+=(jacktrip)
[ ${#need[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
