#!/usr/bin/env bash
# The wheel the build made, installed offline into a fresh venv and used from outside the source and
# build trees: the Python example marks its square with the wheel's own libraries, the fonts come
# from the wheel, and __version__ and the type hints are there.
#   python_wheel.sh WHEEL_DIR SOURCE_DIR VERSION
set -euo pipefail
wheels=$1 source_dir=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "python_wheel: $*" >&2; exit 1; }
unset PYTHONPATH KORVEX_HOME KORVEX_LIBRARY_DIR
wheel=$(ls "$wheels"/korvex-"$version"-py3-none-*.whl) || fail "no wheel of version $version in $wheels"
python3 -m venv "$work/venv"
py=$work/venv/bin/python
"$py" -m pip install --quiet --no-index "$wheel" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; fail "pip install $wheel"; }
cd "$work"
out=$("$py" "$source_dir/examples/python_example.py" "$work/square.png" 2>&1) || fail "the example: $out"
grep -q "line -3333 -3333 3333 -3333" <<<"$out" || fail "the example did not mark its square: $out"
[ -s "$work/square.png" ] || fail "the wheel's picture library drew nothing"
"$py" - "$version" "$work/venv" <<'PY' || fail "the installed module"
import os, sys, korvex
version, venv = sys.argv[1], os.path.realpath(sys.argv[2])
here = os.path.dirname(os.path.realpath(korvex.__file__))
assert here.startswith(venv), here
assert korvex.__version__ == version, korvex.__version__
assert os.path.realpath(korvex.library_folder()) == here, korvex.library_folder()  # fonts from the wheel
for name in ("py.typed", "__init__.pyi"):
    assert os.path.exists(os.path.join(here, name)), name
PY
