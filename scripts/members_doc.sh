#!/usr/bin/env bash
# docs/members.md from the member headers' comments: Doxygen's XML, then scripts/members_md.py.
#   members_doc.sh SOURCE_DIR           rewrites SOURCE_DIR/docs/members.md
#   members_doc.sh SOURCE_DIR --check   fails, with the difference, when docs/members.md is stale
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$source_dir" && KORVEX_SOURCE_DIR=$source_dir KORVEX_DOXYGEN_OUT=$work doxygen cmake/Doxyfile.members)
python3 "$source_dir/scripts/members_md.py" "$work/xml" "$work/members.md"
if [ "${2:-}" = "--check" ]; then
  diff -u "$source_dir/docs/members.md" "$work/members.md" ||
    { echo "docs/members.md is stale: cmake --build build --target members_doc" >&2; exit 1; }
else
  cp "$work/members.md" "$source_dir/docs/members.md"
fi
