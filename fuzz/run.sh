#!/usr/bin/env bash
# Runs every fuzz harness for SECONDS each (one after the other), on a working copy of its seeds in
# fuzz/corpus/<harness>/, and reports executions per second and whether a crash was found (an
# input running over 10 s counts as a hang). Crash inputs are written to fuzz/out/crash-<harness>-*.
# Usage: fuzz/run.sh SECONDS [harness...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:?usage: fuzz/run.sh SECONDS [harness...]}
shift
"$here/build.sh" || exit 1
[[ -d "$here/seeds" ]] || python3 "$here/make_seeds.py"
if [[ $# -gt 0 ]]; then harnesses=("$@"); else
    harnesses=(); for h in "$here"/fuzz_*.cpp; do harnesses+=("$(basename "$h" .cpp)"); done
fi
status=0
for name in "${harnesses[@]}"; do
    corpus="$here/corpus/$name"
    mkdir -p "$corpus"
    cp -n "$here/seeds/$name"/* "$corpus/" 2>/dev/null
    log="$here/out/$name.log"
    "$here/out/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$here/out/crash-$name-" "$corpus" >"$log" 2>&1
    rc=$?
    runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    per_s=$(grep -o 'exec/s: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
    if [[ $rc -eq 0 ]]; then verdict="no crash"; else
        verdict="CRASH (exit $rc): $(grep -m1 -o "$here/out/crash-$name-[^ ]*" "$log")"; status=1
    fi
    printf '%-22s %8s exec/s  %10s runs  %s  (log: %s)\n' "$name" "${per_s:-?}" "${runs:-?}" "$verdict" "$log"
done
exit $status
