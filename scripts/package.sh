#!/usr/bin/env bash
# Builds the Debian packages libkorvex0.1, libkorvex-dev, python3-korvex and korvex with
# dpkg-buildpackage (debian/), then checks them with lintian. The .deb files land in the folder
# above the project (dpkg-buildpackage's place) and are copied to KORVEX_DEB_OUT when it is set.
# Install them with `apt install ./libkorvex0.1_*.deb ./korvex_*.deb ...`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --deps
(cd "$root" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -b -us -uc)
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
parent=$(dirname "$root")
lintian --fail-on error "$parent"/korvex_"$version"_*.changes || true
for deb in "$parent"/{libkorvex0.1,libkorvex-dev,python3-korvex,korvex}_"$version"_*.deb; do
  [ -n "${KORVEX_DEB_OUT:-}" ] && cp "$deb" "$KORVEX_DEB_OUT/" && deb="$KORVEX_DEB_OUT/$(basename "$deb")"
  echo "$deb"
done
