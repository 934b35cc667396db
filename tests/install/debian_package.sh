#!/usr/bin/env bash
# Builds the Debian package from the build tree (cpack runs the install rules into its staging
# folder; nothing is rebuilt), checks its control data and contents, unpacks it into a scratch root
# and uses the unpacked copy from outside (check_installed.sh --outside-builds: the program, Python,
# a find_package project and a pkg-config build).
#   debian_package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "debian_package: $*" >&2; exit 1; }
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/korvex_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for p in libfreetype6 libfontconfig1 libcairo2 libdmtx0b python3 fonts-dejavu-core libstdc++6; do
  grep -q "\b$p\b" <<<"$depends" || fail "Depends lacks $p: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in /bin/korvex /libkorvex.so.0 /libkorvex.a /libkorvex_picture.so.0 /include/korvex/korvex.h \
         /include/korvex/korvex_dll.hpp /share/korvex/font/xc24.sl /pkgconfig/korvex.pc /cmake/korvex/korvexConfig.cmake \
         /dist-packages/korvex/__init__.py /dist-packages/korvex/_location.py /doc/korvex/packaging.md; do
  grep -q -- "$f\b" <<<"$contents" || fail "the package lacks $f"
done
dpkg-deb -x "$deb" "$work/root"
prefix=$(dirname "$(find "$work/root" -path '*/bin/korvex' -print -quit)")/..
lib=$(find "$work/root" -name libkorvex.so -print -quit)
readelf -d "$lib" | grep -q "SONAME.*libkorvex.so.0" || fail "$lib has no SONAME libkorvex.so.0"
"$(dirname "$0")/check_installed.sh" "$prefix" "$work" --outside-builds
