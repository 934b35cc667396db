#!/usr/bin/env bash
# Uses an installed korvex under PREFIX (a `cmake --install --prefix` or an unpacked package) the
# way a station would, with nothing from the build tree: the korvex program marks and verifies an
# ear-tag plate with the installed fonts, and the Python example runs on the installed module.
# With --outside-builds also: an outside CMake project (find_package) and a C program built with
# pkg-config, each run. Every check prints what failed.
#   check_installed.sh PREFIX WORKDIR [--outside-builds]
set -euo pipefail
prefix=$1 work=$2 outside=${3:-}
unset KORVEX_HOME KORVEX_LIBRARY_DIR
square="line -3333 -3333 3333 -3333"
fail() { echo "check_installed: $*" >&2; exit 1; }
find_one() { find "$prefix" -path "$1" -print -quit; }

korvex=$prefix/bin/korvex
[ -x "$korvex" ] || fail "no program at $korvex"
docs=$(dirname "$(find_one '*/doc/korvex/examples/eartag_template.nam')")/..
[ -d "$docs" ] || fail "no examples in the documentation folder"
out=$("$korvex" fonts)
grep -q "hz128f.sl *present" <<<"$out" || fail "the installed program does not find its fonts: $out"
out=$(cd "$docs" && "$korvex" eartag examples/eartag_template --numbers 982000123456001..982000123456002 --verify \
        --out "$work" 2>&1) || fail "korvex eartag failed: $out"
grep -q "read back: 2 of 2" <<<"$out" || fail "the installed program did not mark a readable plate: $out"

pydir=$(dirname "$(find_one '*/dist-packages/korvex/__init__.py')")/..
out=$(PYTHONPATH=$pydir PYTHONDONTWRITEBYTECODE=1 python3 "$docs/examples/python_example.py" "$work/square.png" 2>/dev/null)
grep -q "$square" <<<"$out" || fail "the Python example on the installed module: $out"
[ -s "$work/square.png" ] || fail "the installed picture library drew nothing"

[ "$outside" = "--outside-builds" ] || exit 0
cmake -S "$(dirname "$0")/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
      -DKORVEX_EXAMPLES="$docs/examples" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "find_package(korvex)"; }
cmake --build "$work/consumer" -j2 >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "outside build"; }
"$work/consumer/c_consumer" 2>/dev/null | grep -q "$square" || fail "the C example built with find_package"
"$work/consumer/cxx_consumer" 2>/dev/null || fail "the C++ example on korvex::korvex"
"$work/consumer/cxx_static_consumer" 2>/dev/null || fail "the C++ example on korvex::static"

pc=$(find_one '*/pkgconfig/korvex.pc')
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs korvex) || fail "pkg-config korvex"
libdir=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --variable=libdir korvex)
# shellcheck disable=SC2086
cc -o "$work/c_pkgconfig" "$docs/examples/c_example.c" $flags -Wl,-rpath,"$libdir" || fail "cc with pkg-config flags"
"$work/c_pkgconfig" 2>/dev/null | grep -q "$square" || fail "the C example built with pkg-config"
# shellcheck disable=SC2086
c++ -std=c++17 -o "$work/cxx_pkgconfig" "$docs/examples/host_example.cpp" $flags -Wl,-rpath,"$libdir" ||
  fail "c++ -std=c++17 with pkg-config flags"
"$work/cxx_pkgconfig" 2>/dev/null || fail "the C++ example built with pkg-config"
