#!/usr/bin/env bash
# Builds the Debian packages (libkorvex0.1, libkorvex-dev, python3-korvex, korvex) with
# dpkg-buildpackage from a copy of the source tree, runs lintian on them (no errors allowed;
# warnings are printed), checks their contents, then, as root, installs them with apt-get, uses the
# installed copy as a station would (check_installed.sh; the Debian interpreter /usr/bin/python3), purges them and checks that nothing they
# brought is left behind (the Python module's __pycache__ included).
# It builds the whole project again and changes the system's packages, so it runs only when
# KORVEX_PACKAGE_TEST=1 (scripts/test.sh --packages); otherwise it reports itself skipped (77).
#   debian_packages.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1 work=$2
fail() { echo "debian_packages: $*" >&2; exit 1; }
if [ "${KORVEX_PACKAGE_TEST:-0}" != 1 ]; then
  echo "debian_packages: skipped (set KORVEX_PACKAGE_TEST=1 to build, install and purge the packages)"
  exit 77
fi
packages=(libkorvex0.1 libkorvex-dev python3-korvex korvex)

# The copy is made in the same place every time, so ccache finds the objects of the last run.
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
project_version=$(sed -n 's/^project(korvex VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ "$version" = "$project_version" ] || fail "debian/changelog is at $version, the project at $project_version"
rm -rf "$work" && mkdir -p "$work/src"
tree="$work/src/korvex-$version"
mkdir "$tree"
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
  (cd "$source_dir" && tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$tree"
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
(cd "$tree" && KORVEX_CMAKE_ARGS="$launcher" DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" \
   dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) || { tail -50 "$work/build.log"; fail "dpkg-buildpackage"; }
changes=$(ls "$work"/src/korvex_"$version"_*.changes)
debs=()
for p in "${packages[@]}"; do
  debs+=("$(ls "$work"/src/"$p"_"$version"_*.deb)") || fail "no package $p"
done

lintian --fail-on error --tag-display-limit 0 "$changes" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian found errors"; }
echo "lintian (no errors):"; cat "$work/lintian.log"

contents() { dpkg-deb -c "$(ls "$work"/src/"$1"_"$version"_*.deb)"; }
need() {  # PACKAGE PATH...: the package holds each path
  local p=$1 c; shift; c=$(contents "$p")
  for f in "$@"; do grep -q -- "$f\b" <<<"$c" || fail "$p lacks $f"; done
}
need libkorvex0.1 /libkorvex.so.0.1 /libkorvex_picture.so.0.1 /usr/share/korvex/font/xc24.sl /usr/share/doc/libkorvex0.1/copyright
need libkorvex-dev /include/korvex/korvex.h /include/korvex/korvex_dll.hpp /libkorvex.so /libkorvex.a \
                   /pkgconfig/korvex.pc /cmake/korvex/korvexConfig.cmake
need python3-korvex /dist-packages/korvex/__init__.py /dist-packages/korvex/__init__.pyi /dist-packages/korvex/py.typed
need korvex /usr/bin/korvex /usr/share/man/man1/korvex.1.gz /usr/share/bash-completion/completions/korvex \
            /usr/share/doc/korvex/examples/python_example.py
grep -q "libkorvex0.1" <<<"$(dpkg-deb -f "$(ls "$work"/src/korvex_"$version"_*.deb)" Depends)" || fail "korvex does not depend on libkorvex0.1"

if [ "$(id -u)" != 0 ]; then
  echo "debian_packages: not root, the packages are built and checked but not installed"
  exit 0
fi
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed; then
    echo "debian_packages: $p is installed on this machine already; not installing over it"
    exit 0
  fi
done
# Every path the packages bring that is not on the system yet must be gone after the purge.
for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '{ sub(/^\./, "", $6); print $6 }' | sed 's:/$::' |
  sort -u | while read -r path; do [ -n "$path" ] && [ ! -e "$path" ] && echo "$path"; done >"$work/new-paths"
apt=(apt-get -o DPkg::Lock::Timeout=120 -y -q)
purge() { "${apt[@]}" purge "${packages[@]}" >"$work/purge.log" 2>&1; }
trap 'purge || true' EXIT
"${apt[@]}" install --no-install-recommends "${debs[@]}" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
mkdir -p "$work/check" && "$(dirname "$0")/check_installed.sh" /usr "$work/check"
/usr/bin/python3 -c 'import korvex; print(korvex.__version__)' >/dev/null  # writes __pycache__ as root does
module=$(/usr/bin/python3 -c 'import korvex, os; print(os.path.dirname(korvex.__file__))')
[ -d "$module/__pycache__" ] || fail "no __pycache__ in $module to check the purge against"
out=$(man -P cat korvex 2>/dev/null) && grep -q -- "--version" <<<"$out" || fail "man korvex: $out"
purge || { cat "$work/purge.log"; fail "apt-get purge"; }
trap - EXIT
left=$(while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/new-paths"; true)
[ -z "$left" ] || fail "left behind after the purge: $left"
[ ! -e "$module" ] || fail "left behind after the purge: $module"
echo "debian_packages: built, lintian clean of errors, installed, used and purged without a trace"
