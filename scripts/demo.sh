#!/usr/bin/env bash
# The main job, as a vendor and a user meet the kit, on Linux under Wine (its own Xvfb display):
#   1. the sample definition is stamped into its setup program (tmbystamp);
#   2. that program builds its distribution with -b, as BUILD.INF beside it says;
#   3. the distribution's setup.exe installs Lakeside Notes with the scripted UI;
#   4. what the install left on the machine is listed: files, registry values, links;
#   5. the product's uninstaller removes it again, and the machine is as it was before;
# then a screenshot of the setup's main window and the destinations of every install object, and a
# screenshot of each of the setup's pages, walked with real windows by the UI driver (out/demo/pages).
#
# The runs use the test flavours of the engine, the loading program and the uninstaller
# (setup-test.exe, TamberlyLoadProgram-test.exe, uninstall-test.exe): the shipping programs plus
# the environment variables of the scripted UI and the debug listings (README.md). The shipping
# setup program, out/demo/LakesideSetup.exe, is stamped beside them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out="$here/out/demo"
rm -rf "$out"
mkdir -p "$out/kit"
scripts/build.sh win32 >/dev/null
engine="$here/build/win32/apps/setup/setup.exe"
test_engine="$here/build/win32/apps/setup/setup-test.exe"
test_loader="$here/build/win32/apps/loader/TamberlyLoadProgram-test.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
for f in "$engine" "$test_engine" "$test_loader" "$stamp"; do
  [ -f "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done
export LANG=C LC_ALL=C
wine_run() { scripts/wine.sh --version winxp --timeout 120 "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
drive_c="$here/build/wineprefix/prefix/drive_c"
product="Lakeside Notes"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
help_key='HKLM\Software\Microsoft\Windows\Help'
# The note store's type library (samples/notes/src/lakenotes.idl).
typelib_key='HKCR\TypeLib\{8A3E5C21-7B4D-4F19-A2C6-3D9E0F5B7A14}'

echo "== 1. stamping samples/notes/product.tmby into out/demo/kit/LakesideSetup.exe"
wine_run "$stamp" "$engine" samples/notes/product.tmby "$out/LakesideSetup.exe" >/dev/null
wine_run "$stamp" "$test_engine" samples/notes/product.tmby "$out/kit/LakesideSetup.exe" >/dev/null
# The kit's loading program beside the vendor's setup program: that is where -b looks for it
# when the kit's folder is not registered.
cp "$test_loader" "$out/kit/TamberlyLoadProgram.exe"
wine_run reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1 || true

echo "== 2. building the distribution: LakesideSetup.exe -b (BUILD.INF: out/demo/dist)"
# The definition names the product's files relative to the top of the kit, where this runs.
printf '%s\r\n' "$(winpath "$out/dist")" >"$out/kit/BUILD.INF"
set +e
TMBY_UI=script TMBY_UI_TRANSCRIPT="$out/build.txt" wine_run "$out/kit/LakesideSetup.exe" -b
rc=$?
set -e
if [ "$rc" != 0 ] || [ ! -f "$out/dist/setup.exe" ]; then
  tr -d '\r' <"$out/build.txt"
  echo "demo: the build did not end well (exit code $rc)" >&2
  exit 1
fi
(cd "$out/dist" && for f in *; do printf '   %-12s %9d bytes\n' "$f" "$(stat -c %s "$f")"; done)

# A machine without the product: nothing of an earlier install by the demo or the tests (they share
# the prefix). A 64-bit Windows keeps a 32-bit
# program's files in "Program Files (x86)".
programs="$drive_c/Program Files"
[ -d "$drive_c/Program Files (x86)" ] && programs="$drive_c/Program Files (x86)"
folder="$programs/$product"
shared_dlls='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
rm -rf "$folder"
wine_run reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
# The store's own registration, left by an install that was never removed (the tests install the
# sample in the same prefix).
for key in 'HKCR\Lakeside.NoteStore' 'HKCR\CLSID\{6F1C2B1E-4A53-4E2D-9B8A-1C0D5E7A3B21}' "$typelib_key" \
  'HKCR\Interface\{C4D2B8E6-1F3A-4B57-9E0C-6A7D2F1E8B39}'; do
  wine_run reg delete "$key" /f >/dev/null 2>&1 || true
done
for name in LAKENOTES.HLP LAKENOTES.CNT; do
  wine_run reg delete "$help_key" /v "$name" /f >/dev/null 2>&1 || true
done
wine_run reg query "$shared_dlls" 2>/dev/null | tr -d '\r' | sed -n 's/^ *\(.*LakeUtil.dll\) *REG_DWORD.*/\1/ip' |
  while IFS= read -r name; do wine_run reg delete "$shared_dlls" /v "$name" /f >/dev/null 2>&1; done ||
  true
# What the machine holds before, compared with what it holds after the uninstall: the program
# folders, the Start menu, and every registry value that names the product.
machine_state() {
  (cd "$drive_c" && find "${programs#$drive_c/}" $(find . -maxdepth 5 -iname 'start menu' -printf '%P\n' |
    sed 's/ /?/g') 2>/dev/null | sort) || true
  wine_run reg export 'HKLM\Software' "$(winpath "$out/reg.txt")" /y >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$out/reg.txt" 2>/dev/null | tr -d '\r' | grep -iE 'lakeside|LakeUtil' || true
  rm -f "$out/reg.txt"
}
machine_state >"$out/before.txt"

echo "== 3. installing: dist/setup.exe under Wine (winxp), scripted UI (out/demo/install.txt)"
set +e
TMBY_UI=script TMBY_UI_TRANSCRIPT="$out/install.txt" TMBY_LINKS="$(winpath "$out/links.txt")" \
  wine_run "$out/dist/setup.exe"
rc=$?
set -e
tr -d '\r' <"$out/install.txt" | grep -E '^(stage|status|file|replacing|\|)' | sed 's/^/   /'
echo "   (exit code $rc)"
[ "$rc" = 0 ] || { echo "demo: the install did not end well" >&2; exit 1; }

echo "== 4. what the install left on the machine"
echo "   files in ${folder#$drive_c/}:"
if [ -d "$folder" ]; then
  (cd "$folder" && find . -type f -printf '%P %s\n' | sort |
    while read -r f n; do printf '     %-16s %9d bytes\n' "$f" "$n"; done)
else
  echo "     (none)"
fi
echo "   registry: $uninstall_key"
wine_run reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | grep -E '^(HKEY| +[A-Za-z])' |
  sed -e 's/^HKEY.*\\/     [/' -e '/^     \[/s/$/]/' -e 's/^ */     /' || echo "     (none)"
echo "   shared DLLs:"
wine_run reg query "$shared_dlls" 2>/dev/null | tr -d '\r' | grep -i lakeutil | sed 's/^ */     /' ||
  echo "     (none)"
echo "   the store's own registration (DllRegisterServer), HKCR\\Lakeside.NoteStore:"
wine_run reg query 'HKCR\Lakeside.NoteStore\CLSID' 2>/dev/null | tr -d '\r' | grep -E '^ +' |
  sed 's/^ */     /' || echo "     (none)"
echo "   the help file, $help_key:"
wine_run reg query "$help_key" 2>/dev/null | tr -d '\r' | grep -E '^ +LAKENOTES\.' |
  sed 's/^ */     /' || echo "     (none)"
echo "   the store's type library (RegisterTypeLib), $typelib_key:"
wine_run reg query "$typelib_key" /s 2>/dev/null | tr -d '\r' | grep -E '^(HKEY.*}\\| +)' |
  sed -e 's/^HKEY[^{]*{[^}]*}\\/     [/' -e '/^     \[/s/$/]/' -e 's/^ */     /' || echo "     (none)"
echo "   links in the program folder, as the shell reads them back (link -> target arguments):"
if [ -s "$out/links.txt" ]; then
  tr -d '\r' <"$out/links.txt" | sed 's/^/     /'
else
  echo "     (none)"
fi

echo "== 5. uninstalling: \"$product\" as Add/Remove Programs starts it (out/demo/uninstall.txt)"
uninstall_string=$(wine_run reg query "$uninstall_key" /v UninstallString 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *UninstallString *REG_SZ *//p')
echo "   UninstallString: $uninstall_string"
[ -n "$uninstall_string" ] || { echo "demo: the install wrote no UninstallString" >&2; exit 1; }
echo "answer Yes" >"$out/yes.script"
# The installed uninstaller is the shipping one, which takes no scripted answers: its test flavour
# takes its place, as for the other programs of the demo.
cp build/win32/apps/uninstall/uninstall-test.exe "$folder/uninstall.exe"
set +e
TMBY_UI=script TMBY_UI_SCRIPT="$out/yes.script" TMBY_UI_TRANSCRIPT="$out/uninstall.txt" \
  wine_run "$folder/uninstall.exe" "$product"
rc=$?
set -e
tr -d '\r' <"$out/uninstall.txt" | grep -E '^\|' | sed 's/^/   /'
echo "   (exit code $rc)"
[ "$rc" = 0 ] || { echo "demo: the uninstall did not end well" >&2; exit 1; }
# The running uninstaller goes at the restart: Windows is restarted.
wine_run wineboot -r >/dev/null 2>&1 || true
machine_state >"$out/after.txt"
if diff -u "$out/before.txt" "$out/after.txt" >"$out/left.txt"; then
  echo "   the machine is as it was before the install (files and registry compared)"
else
  echo "   left behind on the machine:"
  sed 's/^/     /' "$out/left.txt"
  echo "demo: the uninstall left something behind" >&2
  exit 1
fi

echo "== starting LakesideSetup.exe with real windows for a screenshot"
# The screenshot is taken once the title band is on the display (Wine takes a while to start on a
# busy machine), at the latest after 40 seconds. The copy of the definition leaves the run to
# itself (RunAutomatic off), so the window stays as it is before the first dialog.
sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    RunAutomatic = False/' \
  samples/notes/product.tmby >"$out/waiting.tmby"
state="$here/build/wineprefix/state"
set +e
TMBY_DEFINITION="$out/waiting.tmby" TMBY_EXIT_AFTER_MS=45000 \
  TMBY_DESTINATIONS="$out/destinations.txt" wine_run "$out/kit/LakesideSetup.exe" &
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
[ -f "$out/setup.png" ] || { echo "demo: no screenshot was taken" >&2; exit 1; }
echo "== the setup's main window: out/demo/setup.png"
[ -f "$out/destinations.txt" ] &&
  echo "== where each install object of the sample goes: out/demo/destinations.txt"
if [ "$(convert "$out/setup.png" -format '%[hex:p{10,0}]' info: 2>/dev/null)" != 410100 ]; then
  echo "demo: the main window was not on the display within 40 seconds" >&2
  exit 1
fi
echo "== the setup's pages with real windows, walked by the UI driver: out/demo/pages/English/"
if ! scripts/dialog-shots.sh "$out/dist" "$out/pages"; then
  echo "demo: a page of the setup did not come up" >&2
  exit 1
fi
(cd "$out/pages/English" && ls *.png | sed 's/^/   /')
