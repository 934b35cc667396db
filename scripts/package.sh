#!/usr/bin/env bash
# Builds the Debian package korvex_VERSION_ARCH.deb: a build for the /usr prefix in build-deb/ (or
# KORVEX_DEB_BUILD) of just what the package holds, then cpack. The .deb lands in the project folder
# (or KORVEX_DEB_OUT); install it with `apt install ./korvex_*.deb`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --deps
build="${KORVEX_DEB_BUILD:-$root/build-deb}"
out="${KORVEX_DEB_OUT:-$root}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
      -DKORVEX_BENCH=OFF ${KORVEX_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target korvex korvex_static korvex_picture korvex_cli korvex_fonts
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "$build"/korvex_*.deb; do
  cp "$deb" "$out/"
  echo "$out/$(basename "$deb")"
done
