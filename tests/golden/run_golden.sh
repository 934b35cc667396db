#!/usr/bin/env bash
# Golden traces: every host script (examples/*.ks, tests/golden/*.ks) that has a .trace beside it is
# run with `korvex run --trace-time` from the repository root and must reproduce that trace byte for
# byte. Regenerate a trace after an intended change with: korvex run X.ks --trace-time > X.trace
set -u
cli="$1"
root="$2"
cd "$root" || exit 1
pass=0
fail=0
for script in examples/*.ks tests/golden/*.ks; do
  [ -e "$script" ] || continue
  expected="${script%.ks}.trace"
  [ -f "$expected" ] || continue
  if diff -u "$expected" <("$cli" run "$script" --trace-time) > /tmp/korvex-golden.diff 2>&1; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "golden trace differs: $script"
    head -40 /tmp/korvex-golden.diff
  fi
done
echo "golden: $pass passed, $fail failed"
[ "$fail" -eq 0 ] && [ "$pass" -gt 0 ]
