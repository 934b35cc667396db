#!/usr/bin/env bash
# Installs the Debian packages korvex needs to build, test and draw (idempotent: installs only what
# is missing, so a second run returns at once), then configures and builds the project.
#   scripts/setup.sh            packages + build in ./build
#   scripts/setup.sh --deps     packages only
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config python3
  python3-numpy  # the Python module's tests give it numpy arrays
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libcairo2-dev libpng-dev libfreetype-dev libfontconfig-dev libdmtx-dev
  libpango1.0-dev  # the pictures' captions and labels: any script an installed face covers
  libopencv-imgproc-dev libopencv-imgcodecs-dev  # field calibration: scans of the test pattern
  fonts-dejavu-core hershey-fonts-data fonts-arphic-uming fonts-arphic-ukai fonts-wqy-microhei
  clang-14 libclang-rt-14-dev
  doxygen  # docs/members.md from the member headers
  dpkg-dev file binutils  # readelf and nm on the built libraries
  abigail-tools  # abidw/abidiff: the libraries' ABI against the record in abi/
  debhelper dh-python fakeroot lintian help2man  # the Debian packages (scripts/package.sh), the manual page
  python3-venv python3-pip python3-setuptools python3-wheel  # the Python wheel, and the fresh venv it is tried in
  libsqlite3-dev libpqxx-dev postgresql  # the station's journal; its tests start their own PostgreSQL cluster
  libcpp-httplib-dev nlohmann-json3-dev  # korvex station serve: its HTTP JSON API
  chromium chromium-driver python3-selenium  # the operator page's browser test
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ "${1:-}" = "--deps" ] && exit 0

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVEX_BUILD:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KORVEX_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
