#!/usr/bin/env bash
# The main job: builds the shipping flavour and starts the setup program under Wine (on an Xvfb
# display of its own), takes a screenshot into out/demo/ and ends it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out="$here/out/demo"
mkdir -p "$out"
scripts/build.sh win32
exe="$here/build/win32/apps/setup/setup.exe"
[ -f "$exe" ] || { echo "demo: $exe was not built" >&2; exit 1; }
echo "== starting setup.exe under Wine (winxp)"
set +e
TMBY_EXIT_AFTER_MS=8000 scripts/wine.sh --version winxp --timeout 120 --screenshot "$out/setup.png" \
  --shot-delay 5 "$exe"
rc=$?
set -e
scripts/wine.sh --stop
echo "setup.exe ended with code $rc"
[ -f "$out/setup.png" ] || { echo "demo: no screenshot was taken" >&2; exit 1; }
echo "screenshot: $out/setup.png"
[ $rc = 0 ]
