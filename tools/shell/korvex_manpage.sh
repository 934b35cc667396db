#!/usr/bin/env bash
# Writes the korvex(1) manual page with help2man: the program's --help and --version, and a
# COMMANDS section holding each sub-command's own --help, so the page says what the program says.
#   korvex_manpage.sh PROGRAM OUT
set -euo pipefail
program=$1 out=$2
include=$(mktemp)
trap 'rm -f "$include"' EXIT
# roff: a backslash is \e; a line must not start with a control character ('.' or ').
as_roff() { sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"; }
commands=$("$program" --help | awk '/^[A-Za-z][A-Za-z ]*:$/ { s = $0; next } s == "Subcommands:" && /^  [a-z]/ { print $1 }')
{
  echo "[COMMANDS]"
  echo "Each command's options, as \\fBkorvex\\fR \\fICOMMAND\\fR \\fB--help\\fR prints them."
  for c in $commands; do
    echo ".SS \"korvex $c\""
    echo ".nf"
    "$program" "$c" --help | as_roff
    echo ".fi"
  done
  cat <<'ROFF'
[FILES]
.TP
.I /usr/share/korvex
The library folder: the stroke fonts in \fIfont/\fR and the field correction grid
\fIgrid_data.dat\fR. \fBKORVEX_HOME\fR names another; so do the commands' \fB--folder\fR,
\fB--library\fR and \fB--grid\fR options.
.TP
.I /usr/share/doc/korvex
The documentation and the examples (an ear-tag template, C, C++ and Python hosts).
[ENVIRONMENT]
.TP
.B KORVEX_HOME
The library folder to use instead of the installed one.
[EXIT STATUS]
0 for success; 1 when the machine or the library failed (a fault, a code that did not read back,
an output that could not be written); 2 for a command line or input the program refuses before
any work; 130 when interrupted.
ROFF
} >"$include"
help2man --no-info --no-discard-stderr --section=1 \
         --name="drive a galvanometer laser marking machine, or its simulation" \
         --include="$include" --output="$out" "$program"
