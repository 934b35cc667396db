#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz_*.cpp) into fuzz/out/: the library sources, and the few tool
# sources whose readers are fuzzed, are compiled once with sanitizer coverage into
# out/libkorvex_fuzz.a, each harness links against that archive.
# Usage: fuzz/build.sh [clean]   (KORVEX_FUZZ_JOBS=N compiles N library sources at a time; default 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out="$here/out"
CXX=${CXX:-clang++-14}
command -v "$CXX" >/dev/null || CXX=clang++
jobs=${KORVEX_FUZZ_JOBS:-2}
[[ "${1:-}" == clean ]] && rm -rf "$out"
mkdir -p "$out/obj" "$out/include/korvex"

# korvex/version.h is written by the build from the project's version; the harnesses get their own.
version=$(sed -n 's/^project(korvex VERSION \([0-9]*\)\.\([0-9]*\).*/\1 \2/p' "$root/CMakeLists.txt")
read -r major minor <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" -e "s/@KORVEX_VERSION_PATCH@/0/" \
    -e "s/@PROJECT_VERSION@/$major.$minor/" "$root/cmake/version.h.in" >"$out/include/korvex/version.h.new"
cmp -s "$out/include/korvex/version.h.new" "$out/include/korvex/version.h" || mv "$out/include/korvex/version.h.new" "$out/include/korvex/version.h"
rm -f "$out/include/korvex/version.h.new"

common=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fno-sanitize-recover=all -I "$root/include" -I "$out/include" -I "$root/src")
pkg=$(pkg-config --cflags freetype2 fontconfig)
libs=$(pkg-config --libs freetype2 fontconfig)

# Library objects: recompiled when the source or any header it includes (recorded in the .d file) changed.
export CXX root out pkg
export common_flags="${common[*]} -fsanitize=fuzzer-no-link,address,undefined"
compile_one() {
    src=$1
    rel=${src#"$root/"}
    rel=${rel#src/}
    obj="$out/obj/${rel//\//_}.o"
    if [[ -f "$obj" ]]; then
        stale=0
        if [[ "$src" -nt "$obj" ]]; then stale=1
        elif [[ -f "$obj.d" ]]; then
            for dep in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$obj.d"); do
                [[ "$dep" -nt "$obj" ]] && { stale=1; break; }
            done
        fi
        [[ $stale == 0 ]] && return 0
    fi
    echo "  cc $rel"
    # shellcheck disable=SC2086
    $CXX $common_flags $pkg -MMD -MF "$obj.d" -c "$src" -o "$obj"
}
export -f compile_one
# The tool sources the harnesses need (the command-line front end itself is not built), and of the
# calibration library (built on OpenCV, left out) only its CSV readers; the pictures (cairo) and the
# station journal (SQLite, PostgreSQL) are libraries of their own and are left out too.
tool_sources=(host_script member_table vector_file)
calibration_sources=(csv_text pattern measured_csv)
{ find "$root/src" -name '*.cpp' -not -path '*/src/calibration/*' -not -path '*/src/picture/*' -not -path '*/src/station/*' | sort
  printf "$root/tools/%s.cpp\n" "${tool_sources[@]}"
  printf "$root/src/calibration/%s.cpp\n" "${calibration_sources[@]}"; } | xargs -P "$jobs" -I{} bash -c 'compile_one "$@"' _ {}

archive="$out/libkorvex_fuzz.a"
if [[ ! -f "$archive" ]] || [[ -n $(find "$out/obj" -name '*.o' -newer "$archive" | head -1) ]]; then
    rm -f "$archive"
    ar rcs "$archive" "$out"/obj/*.o
fi

# Harnesses.
for h in "$here"/fuzz_*.cpp; do
    name=$(basename "$h" .cpp)
    bin="$out/$name"
    fresh=1
    for dep in "$h" "$archive" "$root/tests/hatch_reference.hpp" "$here"/*.hpp; do
        [[ "$bin" -nt "$dep" ]] || { fresh=0; break; }
    done
    [[ -f "$bin" && $fresh == 1 ]] && continue
    echo "  link $name"
    # shellcheck disable=SC2086
    $CXX "${common[@]}" -I "$root/tests" -I "$root/tools" -fsanitize=fuzzer,address,undefined $pkg "$h" "$archive" $libs -ldl -o "$bin"
done
