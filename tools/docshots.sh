#!/usr/bin/env bash
# Renders the README's screenshots of a query window on the sample database, after a run, during
# one, and two runs compared, under Xvfb with the program's real fonts. Needs xvfb (apt-get install xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
export QUERVIN_SAMPLE_DIR=${QUERVIN_SAMPLE_DIR:-$(mktemp -d)}
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/tools/docshots" "$root/docs/main-window.png" "$root/docs/running.png" "$root/docs/comparison.png" "$root/docs/question.png" "$root/docs/actuals.png" "$root/docs/sqlbox.png"
echo "wrote docs/main-window.png, docs/running.png, docs/comparison.png, docs/question.png, docs/actuals.png and docs/sqlbox.png"
