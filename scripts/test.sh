#!/usr/bin/env bash
# Sets up, builds and runs every test (unit tests and golden host-script traces) through CTest.
#   scripts/test.sh               every test; debian_packages reports itself skipped
#   scripts/test.sh --packages    also debian_packages: builds the Debian packages and, as root,
#                                 installs, uses and purges them (a whole second build; minutes)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
build="${KORVEX_BUILD:-$root/build}"
[ "${1:-}" = "--packages" ] && export KORVEX_PACKAGE_TEST=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
