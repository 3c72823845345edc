#!/usr/bin/env bash
# Every folder of the core includes only its own headers, those of the folders below it and the
# program-wide ones at the core's root; the core never includes the widgets, nor they the
# programs. Prints each include that runs upward and fails when there is one.
set -u
src=${1:-$(dirname "$0")/../src}
order=(db sql sqlite odbc settings embedded connection tuning history window about cli)
rank() {
  local i
  for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
bad=0
for dir in "${order[@]}"; do
  [ -d "$src/core/$dir" ] || continue
  mine=$(rank "$dir")
  while IFS=: read -r file _ target; do
    [ -n "$file" ] || continue
    if [[ $target == gui/* || $target == app/* ]]; then
      echo "$file includes $target"; bad=1; continue
    fi
    folder=${target#core/}
    folder=${folder%%/*}
    [[ $target == core/*/* ]] || continue  # the root's own headers
    theirs=$(rank "$folder")
    if [ "$theirs" -lt 0 ] || [ "$theirs" -gt "$mine" ]; then
      echo "$file includes $target"; bad=1
    fi
  done < <(grep -Ho '#include "[^"]*"' "$src/core/$dir"/* | sed 's/:#include "/::/; s/"$//')
done
if grep -Hn '#include "app/' "$src"/gui/* "$src"/core/*.h 2>/dev/null; then bad=1; fi
if grep -HnE '#include "core/[a-z]+/' "$src"/core/*.h 2>/dev/null; then bad=1; fi
[ $bad -eq 0 ] && echo "no include runs upward"
exit $bad
