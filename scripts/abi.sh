#!/usr/bin/env bash
# The shared libraries' ABI, held against the record of the release in abi/: the symbols they export
# (abi/NAME.symbols, from nm -D) and the functions and types of the installed headers as the
# libraries' debug information describes them (abi/NAME.abi, abidw from abigail-tools).
#   scripts/abi.sh symbols BUILD_DIR   exported symbols differ from the record: fails, naming them
#   scripts/abi.sh compare BUILD_DIR   abidiff against the record: fails on any change but an
#                                      addition (a host built against the record may break on it)
#   scripts/abi.sh refresh BUILD_DIR   writes the record from BUILD_DIR (a RelWithDebInfo build
#                                      without sanitizers): for a release that changes the ABI on
#                                      purpose (and raises the version), or one that adds to it
# A missing tool is reported as a skip (exit 77).
set -uo pipefail
mode=${1:-} build=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
record=$root/abi
libraries=(libkorvex libkorvex_picture)
[ -n "$mode" ] && [ -d "$build" ] || { echo "usage: abi.sh symbols|compare|refresh BUILD_DIR" >&2; exit 2; }

need() {
  command -v "$1" >/dev/null || { echo "abi: $1 is not installed (apt-get install $2): skipped"; exit 77; }
}
# The exported (defined) dynamic symbols, demangled, with their version, one a line, sorted.
exported() { nm -D --defined-only --format=posix -C "$build/$1.so" | sed 's/ [A-Za-z] [0-9a-f]*\( [0-9a-f]*\)\?$//' | LC_ALL=C sort -u; }
dump() {  # LIBRARY OUT: the ABI of the public headers only, without paths of this machine (the file
           # names stay: abidiff tells the headers' types from the others by them)
  abidw --headers-dir "$root/include/korvex" --drop-private-types --short-locs --no-corpus-path \
        --no-comp-dir-path --out-file "$2" "$build/$1.so"
}
diff_abi() {  # LIBRARY [OPTION]: abidiff of the record against the built library
  abidiff --headers-dir2 "$root/include/korvex" --drop-private-types --no-show-locs "${@:2}" \
          "$record/$1.abi" "$build/$1.so"
}

case $mode in
  symbols)
    need nm binutils
    status=0
    for lib in "${libraries[@]}"; do
      diff=$(diff <(cat "$record/$lib.symbols") <(exported "$lib")) && continue
      status=1
      echo "abi: $lib.so exports other symbols than abi/$lib.symbols lists (> exported, not listed; < listed, not exported):"
      echo "$diff" | grep '^[<>]'
    done
    [ $status = 0 ] && echo "abi: the libraries export exactly the recorded symbols" ||
      echo "abi: mark what belongs to the API KORVEX_API (korvex/export.h), or refresh the record (scripts/abi.sh refresh) for a release that changes it"
    exit $status ;;
  compare)
    need abidiff abigail-tools
    status=0
    for lib in "${libraries[@]}"; do
      # Any change but an addition breaks a host: a removed or retyped function, and also a type
      # whose size or members changed, which abidiff counts a change (status bit 4), not an
      # incompatible one (bit 8). Its status: 1 error, 2 usage error, 4 a change, 8 incompatible.
      report=$(diff_abi "$lib" --no-added-syms)
      code=$?
      if [ $code != 0 ]; then
        status=1
        echo "abi: $lib.so breaks the ABI recorded in abi/$lib.abi (abidiff status $code):"
        echo "$report"
      fi  # (additions show in the symbols check)
    done
    [ $status = 0 ] && echo "abi: no incompatible change against abi/"
    exit $status ;;
  refresh)
    need abidw abigail-tools
    for lib in "${libraries[@]}"; do
      exported "$lib" >"$record/$lib.symbols" && dump "$lib" "$record/$lib.abi" || { echo "abi: refresh of $lib failed" >&2; exit 1; }
      echo "abi: wrote abi/$lib.symbols and abi/$lib.abi"
    done ;;
  *) echo "usage: abi.sh symbols|compare|refresh BUILD_DIR" >&2; exit 2 ;;
esac
