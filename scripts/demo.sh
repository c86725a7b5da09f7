#!/usr/bin/env bash
# The main job: builds the shipping flavour, makes the sample product's setup program with
# tmbystamp, starts it under Wine (on an Xvfb display of its own), takes a screenshot into
# out/demo/, lists where the sample puts things, and ends it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out="$here/out/demo"
rm -rf "$out"
mkdir -p "$out"
scripts/build.sh win32
engine="$here/build/win32/apps/setup/setup.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
for f in "$engine" "$stamp"; do
  [ -f "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done
echo "== making the sample product's setup program"
scripts/wine.sh --version winxp --timeout 120 "$stamp" "$engine" samples/notes/product.tmby \
  "$out/LakesideSetup.exe"
echo "== starting LakesideSetup.exe under Wine (winxp)"
set +e
TMBY_EXIT_AFTER_MS=12000 TMBY_DESTINATIONS="$out/destinations.txt" \
  scripts/wine.sh --version winxp --timeout 120 --screenshot "$out/setup.png" --shot-delay 8 \
  "$out/LakesideSetup.exe"
rc=$?
set -e
scripts/wine.sh --stop
echo "LakesideSetup.exe ended with code $rc"
if [ -f "$out/destinations.txt" ]; then
  echo "== where the sample product puts things (out/demo/destinations.txt)"
  tr -d '\r' <"$out/destinations.txt"
fi
[ -f "$out/setup.png" ] || { echo "demo: no screenshot was taken" >&2; exit 1; }
echo "screenshot: $out/setup.png"
[ $rc = 0 ]
