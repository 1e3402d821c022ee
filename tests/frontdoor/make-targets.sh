#!/usr/bin/env bash
# The Makefile's entry points must install and build on a fresh clone: a dry run of each one,
# in a copy of the Makefile with no build tree beside it, has to reach the install step and
# the cmake build of the flavour it needs.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/Makefile" "$work/"
status=0
expect() {   # target, then the commands its dry run must contain
  local target=$1; shift
  local plan
  plan=$(make -n -C "$work" "$target" 2>&1)
  for want in "$@"; do
    if ! grep -qF -- "$want" <<<"$plan"; then
      echo "make $target on a fresh clone does not run: $want"
      echo "$plan" | sed 's/^/  | /'
      status=1
    fi
  done
}
expect demo  scripts/install-deps.sh "cmake --build --preset linux" scripts/demo.sh
expect bench scripts/install-deps.sh "cmake --build --preset linux" scripts/run-bench.sh
expect build scripts/install-deps.sh "cmake --build --preset linux" "cmake --build --preset windows"
expect test  scripts/install-deps.sh scripts/run-tests.sh
expect coverage scripts/install-deps.sh scripts/coverage.sh
expect package scripts/install-deps.sh "cmake --build --preset linux" "cmake --build --preset windows" scripts/package.sh
expect test-recovery scripts/install-deps.sh "cmake --build --preset windows" tests/e2e/recovery.sh
[ $status -eq 0 ] && echo "every entry point installs and builds"
exit $status
