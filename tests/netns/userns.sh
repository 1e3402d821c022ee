#!/usr/bin/env bash
# Runs a command as root of a new user namespace (the caller's own user mapped to 0), with
# network and mount namespaces of its own and a private /run (and /etc/netns where it exists),
# so that testnet.sh can build its network without the machine's root. Nothing of it outlives
# the command. Exit 77 when this kernel does not allow unprivileged user namespaces.
#
# Usage: tests/netns/userns.sh COMMAND [ARGS...]
set -u
namespaces=(--user --map-root-user --net --mount --propagation private)
if ! unshare "${namespaces[@]}" true 2>/dev/null; then
  echo "userns: SKIPPED: this kernel does not allow unprivileged user namespaces" >&2
  exit 77
fi
exec unshare "${namespaces[@]}" bash -c '
  mount -t tmpfs tmpfs /run || exit 77
  if [ -d /etc/netns ]; then mount -t tmpfs tmpfs /etc/netns || exit 77; fi
  exec "$@"' userns "$@"
