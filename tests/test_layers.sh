#!/usr/bin/env bash
# Every folder of the core includes only its own headers, those of the folders below it and the
# program-wide ones at the core's root; inside the embedded engine, every room includes only its
# own headers and those of the rooms below it. The core never includes the widgets, nor they the
# programs. Prints each include that runs upward and fails when there is one.
set -u
src=${1:-$(dirname "$0")/../src}
order=(db sql sqlite odbc settings embedded connection tuning history editor window about cli)
engine=(base parse values translate catalog plan session service)
rank() {
  local name=$1 i
  shift
  local list=("$@")
  for i in "${!list[@]}"; do [ "${list[$i]}" = "$name" ] && { echo "$i"; return; }; done
  echo -1
}
bad=0
# Checks the includes of `files` (in folder `mine` of `list`) against the folders of `list`
# under `prefix` (core/ or core/embedded/).
check() {
  local prefix=$1 mine=$2
  shift 2
  local -a list=("$@")
  local mrank
  mrank=$(rank "$mine" "${list[@]}")
  while IFS=: read -r file _ target; do
    [ -n "$file" ] || continue
    if [[ $target == gui/* || $target == app/* ]]; then
      echo "$file includes $target"; bad=1; continue
    fi
    [[ $target == "$prefix"*/* ]] || continue  # the root's own headers
    local folder=${target#"$prefix"}
    folder=${folder%%/*}
    local theirs
    theirs=$(rank "$folder" "${list[@]}")
    if [ "$theirs" -lt 0 ] || [ "$theirs" -gt "$mrank" ]; then
      echo "$file includes $target"; bad=1
    fi
  done < <(grep -rHo '#include "[^"]*"' "${dirs[@]}" | sed 's/:#include "/::/; s/"$//')
}
for dir in "${order[@]}"; do
  [ -d "$src/core/$dir" ] || continue
  dirs=("$src/core/$dir")
  check core/ "$dir" "${order[@]}"
done
for room in "${engine[@]}"; do
  if [ ! -d "$src/core/embedded/$room" ]; then
    echo "the engine has no room $room"; bad=1; continue
  fi
  dirs=("$src/core/embedded/$room")
  check core/embedded/ "$room" "${engine[@]}"
done
# Every file of the engine lives in one of its rooms.
stray=$(find "$src/core/embedded" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \))
[ -n "$stray" ] && { echo "outside the engine's rooms: $stray"; bad=1; }
if grep -Hn '#include "app/' "$src"/gui/* "$src"/core/*.h 2>/dev/null; then bad=1; fi
if grep -HnE '#include "core/[a-z]+/' "$src"/core/*.h 2>/dev/null; then bad=1; fi
[ $bad -eq 0 ] && echo "no include runs upward"
exit $bad
