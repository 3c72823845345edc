#!/usr/bin/env bash
# Renders the README's screenshot of a query window after a run on the sample database, under
# Xvfb with the program's real fonts. Needs xvfb (apt-get install xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
export QUERVIN_SAMPLE_DIR=${QUERVIN_SAMPLE_DIR:-$(mktemp -d)}
xvfb-run -a -s "-screen 0 1024x768x24" "$root/build/tools/docshots" "$root/docs/main-window.png"
echo "wrote docs/main-window.png"
