#!/usr/bin/env bash
# Golden traces: every host script (examples/*.ks, tests/golden/*.ks) that has a .trace beside it is
# run with `korvex run --trace-time` from the repository root and must reproduce that trace byte for
# byte. Golden marks: every such script with a .marks beside it, and every drawing (examples/*.md)
# with one, must reproduce what the simulated machine marked (`--marks - --marks-time`: the merged
# lines, jumps, dots and axis steps with their times). Regenerate after an intended change with
#   korvex run X.ks --trace-time > X.trace
#   korvex run X.ks --marks - --marks-time > X.marks
#   korvex mark X.md --marks - --marks-time > X.marks
set -u
cli="$1"
root="$2"
cd "$root" || exit 1
pass=0
fail=0
# compare WHAT EXPECTED COMMAND...: the command's standard output must equal the file EXPECTED.
compare() {
  local what="$1" expected="$2"
  shift 2
  if diff -u "$expected" <("$@" 2>/dev/null) > /tmp/korvex-golden.diff 2>&1; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "golden $what differs: $expected"
    head -40 /tmp/korvex-golden.diff
  fi
}
for script in examples/*.ks tests/golden/*.ks; do
  [ -e "$script" ] || continue
  [ -f "${script%.ks}.trace" ] && compare trace "${script%.ks}.trace" "$cli" run "$script" --trace-time
  [ -f "${script%.ks}.marks" ] && compare marks "${script%.ks}.marks" "$cli" run "$script" --marks - --marks-time
done
for drawing in examples/*.md; do
  [ -e "$drawing" ] || continue
  [ -f "${drawing%.md}.marks" ] && compare marks "${drawing%.md}.marks" "$cli" mark "$drawing" --marks - --marks-time
done
echo "golden: $pass passed, $fail failed"
[ "$fail" -eq 0 ] && [ "$pass" -gt 0 ]
