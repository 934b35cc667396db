#!/usr/bin/env bash
# Sets up, builds and runs every test (unit tests and golden host-script traces) through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
build="${KORVEX_BUILD:-$root/build}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
