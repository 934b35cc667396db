#!/usr/bin/env bash
# The folders' include rules: each line of RULES names a folder and the folders its files may not
# include from ("#include \"X/..."); each line of ONLY a folder that reaches another only through
# the headers named. A file that breaks a rule is named with the line that does.
# Run by ctest (include_rules); usage: check_includes.sh SOURCE_ROOT
set -u
root="$1"
cd "$root" || exit 1

# folder           folders it may not include from
RULES=(
  # the public headers install as they are: they include nothing of the library's insides
  "include/korvex  core state device scan link template font interface platform sim picture capi views calibration station"
  # the korvex program uses the public surfaces: the object, the platform selection, the simulator,
  # the pictures (tools/fontc shares only the catalogue table and the number rules)
  "tools           state device scan link template"
  # device initialization knows the card, not the serial link above it
  "src/device      link"
  # the station's backends: nothing of the simulated machine, nothing of the machine code above them
  "src/platform    sim picture interface capi state scan link template font views"
  # the machine code never knows which backend it runs on
  "src/core        sim platform picture interface capi views"
  "src/state       sim platform picture interface capi views"
  "src/device      sim platform picture interface capi views"
  "src/scan        sim platform picture interface capi views"
  "src/link        sim platform picture capi views"
  "src/font        sim platform picture capi views"
  "src/template    sim platform picture capi views"
)

broken=0
for rule in "${RULES[@]}"; do
  read -r folder forbidden <<< "$rule"
  for prefix in $forbidden; do
    hits=$(grep -rnE --include='*.cpp' --include='*.hpp' --include='*.h' "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$prefix/" "$folder")
    if [ -n "$hits" ]; then
      echo "$folder may not include from $prefix/:"
      echo "$hits"
      broken=1
    fi
  done
done

# folder   folder it reaches only through the headers named
ONLY=(
  "tools     sim      sim/sim.hpp"
  "tools     picture  picture/picture.hpp picture/scan_render.hpp"
  "tools     interface  interface/default_platform.hpp"
)
for rule in "${ONLY[@]}"; do
  read -r folder prefix allowed <<< "$rule"
  hits=$(grep -rnE --include='*.cpp' --include='*.hpp' --include='*.h' "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$prefix/" "$folder")
  for header in $allowed; do hits=$(grep -vF "\"$header\"" <<< "$hits"); done
  if [ -n "$hits" ]; then
    echo "$folder reaches $prefix/ only through $allowed:"
    echo "$hits"
    broken=1
  fi
done

[ "$broken" -eq 0 ] && echo "include rules kept"
exit "$broken"
