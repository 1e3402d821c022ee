#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, and nothing that is already there.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  googletest libgtest-dev libbenchmark-dev valgrind
  g++-mingw-w64-x86-64-posix wine64
  libsndfile1-dev libcli11-dev
  iproute2 procps nftables python3
  clang-14 libfuzzer-14-dev
  xvfb imagemagick x11-utils fonts-wine
  tshark gcovr qemu-user
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; answer no beforehand so apt never waits.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
