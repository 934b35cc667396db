#!/usr/bin/env bash
# Installs the build tree into a scratch prefix (cmake --install; nothing is rebuilt), checks the
# SONAME, the manual page and the bash completion, and uses the copy from outside as a station would
# (check_installed.sh --outside-builds: the program, Python, a find_package project, a pkg-config build).
#   installed_copy.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "installed_copy: $*" >&2; exit 1; }
cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
prefix=$work/usr
lib=$(find "$prefix" -name libkorvex.so -print -quit)
# Before 1.0 the SONAME carries the minor version too: libkorvex.so.0.1 for 0.1.
version=$(sed -n 's/^project(korvex VERSION \([0-9]*\.[0-9]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
for name in libkorvex libkorvex_picture; do
  soname=$(readelf -d "$(dirname "$lib")/$name.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$name.so.$version" ] || fail "$name.so has the SONAME '$soname', not $name.so.$version"
done

[ -f "$(dirname "$(find "$prefix" -path '*/korvex/__init__.py' -print -quit)")/__init__.pyi" ] || fail "the module's type hints are not installed"
man=$prefix/share/man/man1/korvex.1
grep -q '^\.SS "korvex eartag"' "$man" || fail "the manual page has no section for korvex eartag"
grep -qF -- '\-\-version' "$man" || fail "the manual page does not show --version"
completion=$prefix/share/bash-completion/completions/korvex
# The completion asks the program named on the command line; offer what it would for three lines.
complete_line() {
  PATH=$prefix/bin:$PATH bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _korvex; echo "${COMPREPLY[*]}"' _ "$completion" "$@"
}
[ "$(complete_line korvex ea)" = eartag ] || fail "completion of 'korvex ea': $(complete_line korvex ea)"
[ "$(complete_line korvex station po)" = pool ] || fail "completion of 'korvex station po': $(complete_line korvex station po)"
grep -qw -- --trace-time <<<"$(complete_line korvex run x.ks --trace)" || fail "completion of 'korvex run x.ks --trace'"

"$(dirname "$0")/check_installed.sh" "$prefix" "$work" --outside-builds
