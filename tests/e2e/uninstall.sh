#!/usr/bin/env bash
# The uninstaller program under Wine (32-bit), with the scripted UI and the real registry and files:
#  1. every program of the kit answers --help (and /? on Windows) with its usage and exit code 0;
#  2. a product entry as older setup programs wrote it (the "Files" list, an unquoted
#     "UninstallString" naming the uninstaller in the product's folder) is removed after the question: files, folders and
#     entry go, the running uninstaller itself at the restart (winxp: a pending deletion);
#  3. a second run, and a run for a product nobody installed, say so and change nothing
#     (exit code 1);
#  4. a damaged entry is named and changes nothing;
#  5. on win98 the running uninstaller goes at the restart through WININIT.INI.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bin="$here/build/win32/apps"
source "$here/tests/support/e2e.sh"
e2e_start uninstall
uninstaller="$bin/uninstall/uninstall-test.exe"
require "$uninstaller" "$bin/uninstall/uninstall.exe" "$bin/setup/setup.exe" \
  "$bin/loader/TamberlyLoadProgram.exe" "$bin/tmbyarc/tmbyarc.exe" \
  "$here/build/native/apps/tmbystamp/tmbystamp" "$here/build/native/apps/tmbyarc/tmbyarc"
version=winxp
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version "$version" --timeout 120 "$@"; }
reg_query() { wine_run reg query "$@" 2>/dev/null | tr -d '\r'; }
product="Tamberly E2E Notes"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# 1. --help and /? of every program.
has_usage() { [ "$1" = 0 ] && grep -q '^usage: ' <<<"$2"; }
for p in "$bin/uninstall/uninstall.exe" "$bin/setup/setup.exe" "$bin/loader/TamberlyLoadProgram.exe" \
  "$bin/tmbyarc/tmbyarc.exe"; do
  for h in --help '/?'; do
    out=$(wine_run "$p" "$h" 2>/dev/null | tr -d '\r')
    rc=$?
    check "$(basename "$p") $h: exit code 0 and the usage" has_usage "$rc" "$out"
  done
done
for p in "$here/build/native/apps/tmbystamp/tmbystamp" "$here/build/native/apps/tmbyarc/tmbyarc"; do
  out=$("$p" --help)
  rc=$?
  check "$(basename "$p") --help: exit code 0 and the usage" has_usage "$rc" "$out"
done

# An installed product as the setup program leaves it: its files, the uninstaller in its folder,
# and the entry.
install_product() {
  local dir="$work/Program/Bin"
  mkdir -p "$dir/Docs"
  echo notes >"$dir/notes.txt"
  echo readme >"$dir/Docs/readme.txt"
  cp "$uninstaller" "$dir/uninstall.exe"
  wine_run reg delete "$key" /f >/dev/null 2>&1
  wine_run reg add "$key" /v DisplayName /d "$product" /f >/dev/null 2>&1
  wine_run reg add "$key" /v UninstallString /d "$(winpath "$dir/uninstall.exe") $product" /f \
    >/dev/null 2>&1
  wine_run reg add "$key\\Files" /v Entries /d 2 /f >/dev/null 2>&1
  wine_run reg add "$key\\Files" /v File1 /d "$(winpath "$dir/notes.txt")" /f >/dev/null 2>&1
  wine_run reg add "$key\\Files" /v File2 /d "$(winpath "$dir/Docs/readme.txt")" /f >/dev/null 2>&1
}
yes_script="$work/yes.script"
echo "answer Yes" >"$yes_script"
run_uninstall() {  # run_uninstall TRANSCRIPT ARGS...: the installed uninstaller, as Windows starts it
  local t=$1
  shift
  TMBY_UI=script TMBY_UI_SCRIPT="$yes_script" TMBY_UI_TRANSCRIPT="$t" \
    wine_run "$work/Program/Bin/uninstall.exe" "$@"
}

# 2. The removal, started as "UninstallString" starts it (the name unquoted, two arguments).
install_product
run_uninstall "$work/remove.txt" Tamberly E2E Notes
rc=$?
check "removal: exit code 0" [ "$rc" = 0 ]
check "removal: asked first" grep -qF "| Do you want to completely remove $product and all of its components?" "$work/remove.txt"
check "removal: told after" grep -qF "| $product was removed from your computer." "$work/remove.txt"
check "removal: the files and the empty folder are gone" \
  bash -c "[ ! -e '$work/Program/Bin/notes.txt' ] && [ ! -e '$work/Program/Bin/Docs' ]"
key_gone() { ! wine_run reg query "$key" >/dev/null 2>&1; }
check "removal: the entry is gone" key_gone
pending=$(reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations)
check "removal: the running uninstaller goes at the restart" grep -qi 'uninstall.exe' <<<"$pending"
wine_run reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations /f >/dev/null 2>&1

# 3. A second run, and a product nobody installed.
for name in "$product" "Nobody's Product"; do
  cp "$uninstaller" "$work/again.exe"
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/again.txt" wine_run "$work/again.exe" "$name"
  rc=$?
  check "not installed ($name): exit code 1" [ "$rc" = 1 ]
  check "not installed ($name): says so" grep -qF "| $name is not installed on this computer" "$work/again.txt"
  check "not installed ($name): asks nothing" bash -c "! grep -q 'Do you want' '$work/again.txt'"
done

# 4. A damaged entry: a list value that leads out of the product.
install_product
wine_run reg add "$key\\Files" /v File3 /d '..\..\windows\win.ini' /f >/dev/null 2>&1
run_uninstall "$work/damaged.txt" "$product"
rc=$?
check "damaged: exit code 1" [ "$rc" = 1 ]
check "damaged: named" grep -qF '| The uninstall information of Tamberly E2E Notes is damaged. Nothing was removed.' "$work/damaged.txt"
check "damaged: nothing removed" bash -c "[ -e '$work/Program/Bin/notes.txt' ] && [ -e '$work/Program/Bin/Docs/readme.txt' ]"
entry_stays() { wine_run reg query "$key\\Files" /v File1 >/dev/null 2>&1; }
check "damaged: the entry stays" entry_stays

# 5. win98, as a 32-bit Windows of the 9x line (the adapter's ANSI path): the running uninstaller
#    goes at the restart through a "NUL=" line of WININIT.INI, which names it by its short path.
"$here/scripts/wine.sh" "${prefix[@]}" --stop
version=win98
if [ -z "${TMBY_WINE_PREFIX:-}" ]; then
  prefix=(--arch win32)
  wineprefix="$here/build/wineprefix32/prefix"
else
  wineprefix="$TMBY_WINE_PREFIX/prefix"
fi
export TMBY_WIN32_API=ansi
rm -rf "$work/Program"
install_product
# Wine keeps the name's case as the first writer gave it.
wininit=$(find "$wineprefix/drive_c/windows" -maxdepth 1 -iname wininit.ini | head -1)
had_wininit=0
[ -n "$wininit" ] && { had_wininit=1; cp "$wininit" "$work/wininit.before"; }
run_uninstall "$work/remove98.txt" "$product"
rc=$?
check "win98 removal: exit code 0" [ "$rc" = 0 ]
check "win98 removal: told after" grep -qF "| $product was removed from your computer." "$work/remove98.txt"
check "win98 removal: the files are gone" bash -c "[ ! -e '$work/Program/Bin/notes.txt' ]"
wininit=$(find "$wineprefix/drive_c/windows" -maxdepth 1 -iname wininit.ini | head -1)
# The line's short path, turned back into the host's path, must be the uninstaller itself.
listed_uninstaller() {
  [ -n "$wininit" ] || return 1
  local line short
  while IFS= read -r line; do
    short=${line#*=}
    [ "$(wine_run winepath -u "$short" 2>/dev/null | tr -d '\r')" = "$work/Program/Bin/uninstall.exe" ] &&
      return 0
  done < <(tr -d '\r' <"$wininit" | grep -i '^NUL=')
  return 1
}
check "win98 removal: the uninstaller is listed in WININIT.INI by its short path" listed_uninstaller
if [ "$had_wininit" = 1 ]; then cp "$work/wininit.before" "$wininit"; else rm -f "$wininit"; fi
unset TMBY_WIN32_API
"$here/scripts/wine.sh" "${prefix[@]}" --stop

exit $fail
