#!/usr/bin/env bash
# Pictures of every page of the sample product's setup, as users around the world see them: real
# windows in a Wine desktop under Xvfb, walked by the UI driver (scripts/dialog-shots.sh), into
# out/screenshots/:
#   <Language>/        every page in English, German, Japanese, Hebrew and Russian (Windows XP)
#   dpi120/, dpi144/   every page in English and German on a display of 120 and 144 pixels per
#                      inch (125 % and 150 %), laid out for it
#   win98/<Language>/  Greek and Portuguese on Windows 98 through its ANSI functions, with the code
#                      page of that language (1253, 1252)
# Each folder holds licence.png, destination.png, browse.png, folder.png, copy.png, cancel.png,
# good.png, bad.png and reboot.png. The distribution is the sample's, built here with the test
# flavour of the engine (which the walks need for the restart page and the held copy window).
#
#   scripts/screenshots.sh [SET...]     SET: languages dpi win98 (default: all three)
#
# It takes some 10 to 15 minutes on a busy machine and is no part of `make test`. Exits non-zero
# when a page did not come up (the failing folder then holds NAME-failed.png).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
[ $# = 0 ] && set -- languages dpi win98
out="$here/out/screenshots"
work="$here/build/shots"
scripts/build.sh win32 >/dev/null || exit 1
engine="$here/build/win32/apps/setup/setup-test.exe"
loader="$here/build/win32/apps/loader/TamberlyLoadProgram-test.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
for f in "$engine" "$loader" "$stamp"; do
  [ -f "$f" ] || { echo "screenshots: $f was not built" >&2; exit 1; }
done
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
wine_run() { LANG=C LC_ALL=C scripts/wine.sh --prefix "$here/build/wineprefix-shots" "$@"; }

echo "== the sample's distribution (build/shots/dist)"
rm -rf "$work"
mkdir -p "$work/kit"
wine_run --timeout 120 "$stamp" "$engine" samples/notes/product.tmby "$work/kit/LakesideSetup.exe" \
  >/dev/null || exit 1
cp "$loader" "$work/kit/TamberlyLoadProgram.exe"
printf '%s\r\n' "$(winpath "$work/dist")" >"$work/kit/BUILD.INF"
wine_run --timeout 60 reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/build.txt" wine_run --timeout 300 \
  "$work/kit/LakesideSetup.exe" -b
if [ ! -f "$work/dist/setup.exe" ]; then
  tr -d '\r' <"$work/build.txt" >&2
  echo "screenshots: the distribution was not built" >&2
  exit 1
fi

fail=0
shots() {  # shots OUTDIR LOCALE...: dialog-shots.sh with the machine the environment chooses
  scripts/dialog-shots.sh "$work/dist" "$@" || fail=1
}
for set in "$@"; do
  case "$set" in
    languages) shots "$out" C de_DE.UTF-8 ja_JP.UTF-8 he_IL.UTF-8 ru_RU.UTF-8 ;;
    dpi)
      for dpi in 120 144; do
        TMBY_SHOTS_DPI=$dpi shots "$out/dpi$dpi" C de_DE.UTF-8
      done
      ;;
    win98)
      TMBY_SHOTS_VERSION=win98 TMBY_SHOTS_API=ansi TMBY_SHOTS_ARCH=win32 \
        TMBY_SHOTS_PREFIX="$here/build/wineprefix-shots98" \
        shots "$out/win98" el_GR.UTF-8 pt_BR.UTF-8
      ;;
    *) echo "screenshots: unknown set '$set' (languages dpi win98)" >&2; exit 2 ;;
  esac
done
echo "== pictures in out/screenshots/:"
(cd "$out" && find . -name '*.png' | sort | sed 's|^\./|   |')
exit $fail
