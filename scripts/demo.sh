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
# The screenshot is taken once the title band is on the display (Wine takes a while to start on a
# busy machine), at the latest after 40 seconds.
state="$here/build/wineprefix/state"
set +e
TMBY_EXIT_AFTER_MS=45000 TMBY_DESTINATIONS="$out/destinations.txt" \
  scripts/wine.sh --version winxp --timeout 120 "$out/LakesideSetup.exe" &
pid=$!
for _ in $(seq 1 40); do
  sleep 1
  [ -f "$state/xvfb.display" ] || continue
  import -display "$(cat "$state/xvfb.display")" -window root "$out/setup.png" 2>/dev/null || continue
  [ "$(convert "$out/setup.png" -format '%[hex:p{10,0}]' info: 2>/dev/null)" = 410100 ] && break
done
# Once more after the picture below the band has been painted too.
sleep 1
import -display "$(cat "$state/xvfb.display")" -window root "$out/setup.png" 2>/dev/null
WINEPREFIX="$here/build/wineprefix/prefix" wineserver -k 2>/dev/null
wait $pid
set -e
scripts/wine.sh --stop
if [ -f "$out/destinations.txt" ]; then
  echo "== where the sample product puts things (out/demo/destinations.txt)"
  tr -d '\r' <"$out/destinations.txt"
fi
[ -f "$out/setup.png" ] || { echo "demo: no screenshot was taken" >&2; exit 1; }
echo "screenshot: $out/setup.png"
if [ "$(convert "$out/setup.png" -format '%[hex:p{10,0}]' info: 2>/dev/null)" != 410100 ]; then
  echo "demo: the main window was not on the display within 40 seconds" >&2
  exit 1
fi
