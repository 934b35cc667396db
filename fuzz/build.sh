#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz_*.cpp) into fuzz/out/: the library sources are compiled once
# with sanitizer coverage into out/libkorvex_fuzz.a, each harness links against that archive.
# Usage: fuzz/build.sh [clean]   (KORVEX_FUZZ_JOBS=N compiles N library sources at a time; default 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out="$here/out"
CXX=${CXX:-clang++-14}
command -v "$CXX" >/dev/null || CXX=clang++
jobs=${KORVEX_FUZZ_JOBS:-2}
[[ "${1:-}" == clean ]] && rm -rf "$out"
mkdir -p "$out/obj"

common=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fno-sanitize-recover=all -I "$root/include" -I "$root/src")
pkg=$(pkg-config --cflags freetype2 fontconfig)
libs=$(pkg-config --libs freetype2 fontconfig)

# Library objects: recompiled when the source or any header it includes (recorded in the .d file) changed.
export CXX root out pkg
export common_flags="${common[*]} -fsanitize=fuzzer-no-link,address,undefined"
compile_one() {
    src=$1
    rel=${src#"$root/src/"}
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
find "$root/src" -name '*.cpp' | sort | xargs -P "$jobs" -I{} bash -c 'compile_one "$@"' _ {}

archive="$out/libkorvex_fuzz.a"
if [[ ! -f "$archive" ]] || [[ -n $(find "$out/obj" -name '*.o' -newer "$archive" | head -1) ]]; then
    rm -f "$archive"
    ar rcs "$archive" "$out"/obj/*.o
fi

# Harnesses.
for h in "$here"/fuzz_*.cpp; do
    name=$(basename "$h" .cpp)
    bin="$out/$name"
    if [[ -f "$bin" && "$bin" -nt "$h" && "$bin" -nt "$archive" && "$bin" -nt "$root/tests/hatch_reference.hpp" ]]; then continue; fi
    echo "  link $name"
    # shellcheck disable=SC2086
    $CXX "${common[@]}" -I "$root/tests" -fsanitize=fuzzer,address,undefined $pkg "$h" "$archive" $libs -ldl -o "$bin"
done
