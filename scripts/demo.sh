#!/usr/bin/env bash
# The main job: builds the shipping flavour, makes the sample product's setup program with
# tmbystamp, installs the sample under Wine (its own Xvfb display) with the scripted UI and shows
# the transcript of that run, takes a screenshot of the setup's main window into out/demo/, and
# lists where the sample puts things.
#
# The runs use the engine's test flavour (setup-test.exe), which is the shipping engine plus the
# environment variables of the scripted UI and the debug listings (README.md); the setup program
# a vendor ships, LakesideSetup.exe, is made from the shipping engine beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out="$here/out/demo"
rm -rf "$out"
mkdir -p "$out/dist"
scripts/build.sh win32
engine="$here/build/win32/apps/setup/setup.exe"
test_engine="$here/build/win32/apps/setup/setup-test.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
for f in "$engine" "$test_engine" "$stamp"; do
  [ -f "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done
wine_run() { scripts/wine.sh --version winxp --timeout 120 "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

echo "== making the sample product's setup program"
wine_run "$stamp" "$engine" samples/notes/product.tmby "$out/LakesideSetup.exe"
wine_run "$stamp" "$test_engine" samples/notes/product.tmby "$out/dist/LakesideSetup.exe"

# The distribution: the setup program and the product's archive beside it. The program is started
# as the loading program starts it, with the distribution's folder (-s).
dist=$(winpath "$out/dist")
echo "== installing Lakeside Notes under Wine (winxp), scripted UI: out/demo/install.txt"
set +e
TMBY_UI=script TMBY_UI_TRANSCRIPT="$out/install.txt" wine_run "$out/dist/LakesideSetup.exe" "-s$dist"
rc=$?
set -e
tr -d '\r' <"$out/install.txt"
echo "(exit code $rc)"
[ "$rc" = 0 ] || { echo "demo: the install did not end well" >&2; exit 1; }

echo "== starting LakesideSetup.exe with real windows for a screenshot"
# The screenshot is taken once the title band is on the display (Wine takes a while to start on a
# busy machine), at the latest after 40 seconds. The copy of the definition leaves the run to
# itself (RunAutomatic off), so the window stays as it is before the first dialog.
sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    RunAutomatic = False/' \
  samples/notes/product.tmby >"$out/waiting.tmby"
state="$here/build/wineprefix/state"
set +e
TMBY_DEFINITION="$out/waiting.tmby" TMBY_EXIT_AFTER_MS=45000 \
  TMBY_DESTINATIONS="$out/destinations.txt" wine_run "$out/dist/LakesideSetup.exe" &
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
