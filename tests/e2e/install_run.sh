#!/usr/bin/env bash
# The install run of the sample product under Wine (32-bit, winxp unless noted), with the scripted
# UI and the real registry, files and restart:
#  1. a good run (from the distribution that -b built) announces its stages, installs the
#     product's files byte for byte, ends with exit code 0 and leaves no state key; the help it
#     installed opens in Wine's help viewer (the help compiler's own checks run first);
#  2. a failure ends in the bad-install stage and its box with the state key kept, and the next
#     start of the same program finds that key, finishes and removes it;
#  3. a run that needs a restart registers its continuation under RunOnce (with "1" appended when
#     the name is taken), asks Windows to restart and keeps its state; the logon step runs the
#     continuation (-r), which ends well and removes the state; on win98 Wine's own restart runs
#     the continuation from the local-machine RunOnce key;
#     a user who installs into another folder while the product's server there is in use
#     declines the restart; at the restart (applied here with wineboot) the continuation
#     registers the server in that folder and ends in the good-install stage (winxp and win98);
#  4. a run killed right after its state key was written starts over cleanly;
#  5. with the loader's switch (-c) a folder the loader made below the temporary folder (its
#     shape: src/archive/self_extract.h) is emptied and, once the program has ended, removed; started from any other folder, even one of
#     another shape below the temporary folder, nothing is deleted.
# The build mode (-b) and its checks have their own script, build_distribution.sh.
set -uo pipefail
# The setup program speaks the user's language: the messages checked below are the English ones.
export LANG=C LC_ALL=C
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tests/support/e2e.sh"
e2e_start install_run
mkdir -p "$work/dist"
require "$engine" "$stamp"
version=winxp
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version "$version" --timeout 120 "$@"; }
# The registry as reg.exe shows it; the exit code says whether the key exists.
reg_query() { wine_run reg query "$@" 2>/dev/null | tr -d '\r'; }
state_keys() { reg_query 'HKLM\Software\QRN\Install' | grep -c '\\Install[0-9]'; }
run_once() { reg_query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"; }

# The sample's help is compiled at build time: its compiler's files, read back as the viewer reads
# them.
check "the help compiler's files read back" python3 "$here/tests/samples/help_file_test.py" -q
exe="$work/LakesideTest.exe"
"$stamp" "$engine" "$here/samples/notes/product.tmby" "$exe" >/dev/null
check "the test engine is stamped" [ -f "$exe" ]
# The product's files come from its archive: the distribution is built first, as a vendor does.
rm -rf "$work/dist"
check "the sample's distribution is built" sample_distribution "$exe" "$work/dist" \
  "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120
# The licence page shows the licence that ships beside the setup program.
cp "$here/samples/notes/files/License.rtf" "$work/"
dist=$(winpath "$work/dist")
# Nothing of an earlier run of these tests: no product, no state keys, no continuation entries.
rm -rf "$prefix_dir/prefix/drive_c/Program Files"*/"Lakeside Notes"
find "$prefix_dir/prefix/drive_c" -ipath '*/start menu/programs/lakeside notes' \
  -type d -prune -exec rm -rf {} + 2>/dev/null
wine_run reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
wine_run reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f >/dev/null 2>&1

# 1. A good run.
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/good.txt" wine_run "$exe" "-s$dist"
rc=$?
check "good run: exit code 0" [ "$rc" = 0 ]
tr -d '\r' <"$work/good.txt" | grep -E '^(stage|status)' >"$work/good.stages"
cat >"$work/good.expected" <<'TXT'
status Reading file information...
stage -986 initialized
stage -980 before install
status Installing shell links...
status Installing shell links...
stage -995 before good install
stage -979 good install
TXT
check "good run: the stages in order" diff -u "$work/good.expected" "$work/good.stages"
check "good run: no message box" [ "$(grep -c '^messagebox' "$work/good.txt")" = 0 ]
check "good run: no state key left" [ "$(state_keys)" = 0 ]
drive_c="$prefix_dir/prefix/drive_c"
programs="$drive_c/Program Files"
[ -d "$drive_c/Program Files (x86)" ] && programs="$drive_c/Program Files (x86)"
installed_as_built() {
  cmp -s "$programs/Lakeside Notes/LakeNotes.exe" "$here/build/win32/samples/notes/LakeNotes.exe" &&
    cmp -s "$programs/Lakeside Notes/LakeUtil.dll" "$here/build/win32/samples/notes/LakeUtil.dll" &&
    cmp -s "$programs/Lakeside Notes/readme.txt" "$here/samples/notes/files/readme.txt" &&
    cmp -s "$programs/Lakeside Notes/uninstall.exe" "$here/build/win32/apps/uninstall/uninstall.exe"
}
check "good run: the product's files, byte for byte" installed_as_built
links_made() {
  local dir
  dir=$(find "$drive_c" -ipath '*/start menu/programs/lakeside notes' -type d | head -n1)
  [ -n "$dir" ] && [ -f "$dir/Lakeside Notes.lnk" ] && [ -f "$dir/Read me.lnk" ] &&
    [ -f "$dir/Lakeside Notes on the Web.url" ] && [ -f "$dir/Uninstall Lakeside Notes.lnk" ]
}
check "good run: the program folder with its four links" links_made
# The installed help in Wine's own help viewer, opened at a topic that its contents name: the
# viewer's window bears the help's title, and neither an error box (a file it cannot read) nor a
# file dialog (a topic it cannot find) comes up. The picture: help.png in the work folder.
viewer_windows() {
  xwininfo -display "$(cat "$prefix_dir/state/xvfb.display")" -root -tree 2>/dev/null |
    sed -n 's/^ *0x[0-9a-f]* "\(.*\)": ("winhlp32\.exe".*/\1/p' | grep -vx 'Default IME'
}
help_opens() {
  wine_run --timeout 30 winhlp32 -i store_types "$(winpath "$programs/Lakeside Notes/LakeNotes.hlp")" &
  local viewer=$! i
  for i in $(seq 1 40); do
    sleep 0.5
    viewer_windows | grep -q '^Lakeside Notes Help' && break
  done
  # A moment more for a box that follows the window.
  sleep 2
  viewer_windows >"$work/help-windows.txt"
  import -display "$(cat "$prefix_dir/state/xvfb.display")" -window root "$work/help.png" 2>/dev/null
  WINEPREFIX="$prefix_dir/prefix" wineserver -k >/dev/null 2>&1
  wait $viewer
  [ "$(wc -l <"$work/help-windows.txt")" = 1 ] && grep -q '^Lakeside Notes Help ' "$work/help-windows.txt" ||
    { echo "the help viewer's windows:"; cat "$work/help-windows.txt"; return 1; }
}
check "good run: the help opens in the viewer at the topic of the type library" help_opens

# 2. A failure (the self-extracting file named by -e is not there), then the next start.
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/bad.txt" wine_run "$exe" "-s$dist" -eMissing.exe
rc=$?
check "failed run: exit code 1" [ "$rc" = 1 ]
check "failed run: bad-install stage before the box" \
  grep -qzE 'stage -978 bad install.*messagebox Stop "Installation of Lakeside Notes"' "$work/bad.txt"
check "failed run: the exact message" grep -qF "| Could not read the extraction info from the archive file $dist\\Missing.exe when trying to find the correct offset into the self extracting file." "$work/bad.txt"
check "failed run: the state key stays" [ "$(state_keys)" = 1 ]
reg_query 'HKLM\Software\QRN\Install\Install0' /v Path >"$work/path.txt"
check "failed run: the key names the program" grep -qF "$(winpath "$exe")" "$work/path.txt"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/again.txt" wine_run "$exe" "-s$dist"
rc=$?
check "next start: exit code 0" [ "$rc" = 0 ]
check "next start: good end" grep -q '^stage -979 good install' "$work/again.txt"
check "next start: the state key is gone" [ "$(state_keys)" = 0 ]

# 3. A run that needs a restart (Reboot set in the definition), with the continuation's usual
# name taken by another program.
sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    Reboot = True/' \
  "$here/samples/notes/product.tmby" >"$work/reboot.tmby"
wine_run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v TamberlyUnfinished \
  /d 'cmd /c exit' /f >/dev/null 2>&1
TMBY_DEFINITION="$work/reboot.tmby" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/reboot.txt" \
  wine_run "$exe" "-s$dist" -c
rc=$?
check "restart: exit code 0" [ "$rc" = 0 ]
check "restart: the reboot stage, no good end" \
  bash -c "grep -q '^stage -987 reboot pending' '$work/reboot.txt' && ! grep -q '^stage -979' '$work/reboot.txt'"
check "restart: no box (Windows accepted the restart)" [ "$(grep -c '^messagebox' "$work/reboot.txt")" = 0 ]
run_once HKCU >"$work/runonce.txt"
expected_line="\"$(winpath "$exe")\" -r -s\"$dist\" -c"
check "restart: the continuation under the next free name" grep -qF "TamberlyUnfinished1    REG_SZ    $expected_line" "$work/runonce.txt"
check "restart: the state key stays" [ "$(state_keys)" = 1 ]
# The logon step of the NT family: the shell runs and deletes the current user's RunOnce values.
grep -oE 'TamberlyUnfinished[0-9]*    REG_SZ    .*' "$work/runonce.txt" | sed -E 's/^[^ ]+    REG_SZ    //' \
  >"$work/logon.txt"
wine_run reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f >/dev/null 2>&1
n=0
while IFS= read -r line; do
  n=$((n + 1))
  eval "args=($line)"
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/logon$n.txt" wine_run "${args[@]}"
done <"$work/logon.txt"
cat "$work"/logon*.txt 2>/dev/null | tr -d '\r' >"$work/logon.all"
check "logon: the continuation ran with -r and ended well" grep -q '^stage -979 good install' "$work/logon.all"
check "logon: no run of its own" [ "$(grep -c '^stage -980' "$work/logon.all")" = 0 ]
check "logon: the state key is gone" [ "$(state_keys)" = 0 ]

# The same on win98, where the continuation goes under the local machine's RunOnce key and Wine's
# simulated restart runs it itself. The continuation inherits the environment, so its transcript
# takes the place of the first run's.
"$here/scripts/wine.sh" "${prefix[@]}" --stop
version=win98
wine_run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f >/dev/null 2>&1
TMBY_DEFINITION="$work/reboot.tmby" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/reboot98.txt" \
  wine_run "$exe" "-s$dist"
rc=$?
WINEPREFIX="$prefix_dir/prefix" timeout 60 wineserver -w
check "win98 restart: exit code 0" [ "$rc" = 0 ]
tr -d '\r' <"$work/reboot98.txt" >"$work/continued98.txt"
check "win98 restart: the restart ran the continuation (-r), which ended well" \
  grep -q '^stage -979 good install' "$work/continued98.txt"
check "win98 restart: the continuation had no run of its own" \
  [ "$(grep -c '^stage -980' "$work/continued98.txt")" = 0 ]
run_once HKLM >"$work/runonce98.txt"
check "win98 restart: the restart consumed the entry" [ "$(grep -c Tamberly "$work/runonce98.txt")" = 0 ]
check "win98 restart: the continuation removed the state" [ "$(state_keys)" = 0 ]
"$here/scripts/wine.sh" "${prefix[@]}" --stop
version=winxp

# 3b. The destination page takes another folder, where the product runs: its server is held open
# (as a running program holds it), so it waits for the restart. The user declines the restart;
# later Windows restarts (wineboot -r applies the pending replacements, of MoveFileEx on the NT
# family and of WININIT.INI on the 9x family, and runs the local machine's RunOnce entries) and,
# on the NT family, the user logs on. The continuation must work in the folder the user chose, not
# in the definition's (where an old copy of the server lies since the runs above).
holder="${TMBY_WIN32_TESTS:-$here/build/win32/tests}/tmbyholder.exe"
server_key='HKCR\CLSID\{6F1C2B1E-4A53-4E2D-9B8A-1C0D5E7A3B21}'
elsewhere='C:\Lakeside Elsewhere'
elsewhere_unix="$drive_c/Lakeside Elsewhere"
cat >"$work/elsewhere.script" <<'SCRIPT'
click "Next >"
type edDestDir "C:\\Lakeside Elsewhere"
click "Next >"
click "Next >"
select RG 1
SCRIPT
in_use_elsewhere() {  # in_use_elsewhere VERSION
  version=$1
  "$here/scripts/wine.sh" "${prefix[@]}" --stop
  rm -rf "$elsewhere_unix"
  mkdir -p "$elsewhere_unix"
  cp "$here/build/win32/samples/notes/LakeUtil.dll" "$elsewhere_unix/LakeUtil.dll"
  touch -d '2001-01-01 12:00' "$elsewhere_unix/LakeUtil.dll"
  wine_run reg delete "$server_key" /f >/dev/null 2>&1
  wine_run reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
  for hive in HKCU HKLM; do
    wine_run reg delete "$hive\Software\Microsoft\Windows\CurrentVersion\RunOnce" /f >/dev/null 2>&1
  done
  wine_run --timeout 300 "$holder" "$elsewhere\LakeUtil.dll" 240000 >/dev/null 2>&1 &
  local held=$!
  for _ in $(seq 1 150); do [ -e "$elsewhere_unix/LakeUtil.dll.held" ] && break; sleep 0.2; done
  check "$1 elsewhere: the server is held open" [ -e "$elsewhere_unix/LakeUtil.dll.held" ]
  TMBY_UI=script TMBY_UI_SCRIPT="$(winpath "$work/elsewhere.script")" \
    TMBY_UI_TRANSCRIPT="$work/elsewhere-$1.txt" wine_run "$exe" "-s$dist"
  local rc=$?
  : >"$elsewhere_unix/LakeUtil.dll.release"
  wait "$held"
  tr -d '\r' <"$work/elsewhere-$1.txt" >"$work/elsewhere-$1.all"
  check "$1 elsewhere: exit code 0, the reboot page and no good end" \
    bash -c "[ $rc = 0 ] && grep -q '^stage -987 reboot pending' '$work/elsewhere-$1.all' &&
             ! grep -q '^stage -979' '$work/elsewhere-$1.all'"
  check "$1 elsewhere: the server waits for the restart" [ -e "$elsewhere_unix/LakeUtil.1" ]
  # The restart, then the logon of the NT family (its continuation is the current user's).
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/restart-$1.txt" wine_run wineboot -r >/dev/null 2>&1
  WINEPREFIX="$prefix_dir/prefix" timeout 60 wineserver -w
  run_once HKCU | grep -oE 'TamberlyUnfinished[0-9]*    REG_SZ    .*' |
    sed -E 's/^[^ ]+    REG_SZ    //' >"$work/logon-$1.txt"
  wine_run reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f >/dev/null 2>&1
  while IFS= read -r line; do
    eval "args=($line)"
    TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/logon-$1.out" wine_run "${args[@]}"
  done <"$work/logon-$1.txt"
  cat "$work/restart-$1.txt" "$work/logon-$1.out" 2>/dev/null | tr -d '\r' >"$work/continued-$1.txt"
  check "$1 elsewhere: the continuation ended in the good-install stage" \
    grep -q '^stage -979 good install' "$work/continued-$1.txt"
  check "$1 elsewhere: the new server replaced the one in use" \
    cmp -s "$elsewhere_unix/LakeUtil.dll" "$here/build/win32/samples/notes/LakeUtil.dll"
  reg_query "$server_key\\InprocServer32" /ve >"$work/server-$1.txt"
  check "$1 elsewhere: the server is registered in the folder the user chose" \
    grep -qiF "$elsewhere\\LakeUtil.dll" "$work/server-$1.txt"
  check "$1 elsewhere: the continuation removed the state" [ "$(state_keys)" = 0 ]
}
in_use_elsewhere winxp
in_use_elsewhere win98
"$here/scripts/wine.sh" "${prefix[@]}" --stop
rm -rf "$elsewhere_unix"
version=winxp

# 4. Killed right after the state key was written: the next start goes through.
TMBY_KILL_AT=state TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/kill.txt" wine_run "$exe" "-s$dist"
rc=$?
check "killed: the process died at once" [ "$rc" = 9 ]
check "killed: the state key was written" [ "$(state_keys)" = 1 ]
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/afterkill.txt" wine_run "$exe" "-s$dist"
rc=$?
check "after the kill: the next start ends well" [ "$rc" = 0 ]
check "after the kill: no state key left" [ "$(state_keys)" = 0 ]

# 5. The loader's cleanup. Its folder lies below the temporary folder.
temp=$(wine_run cmd /c echo %TEMP% 2>/dev/null | tr -d '\r' | tail -n1)
temp_unix=$(WINEPREFIX="$prefix_dir/prefix" winepath -u "$temp" 2>/dev/null)
if [ -n "$temp_unix" ] && [ -d "$temp_unix" ]; then
  loader="$temp_unix/TMBYE2E0"
  rm -rf "$loader"
  mkdir -p "$loader"
  cp "$exe" "$loader/setup.exe"
  echo extra >"$loader/setup.1"
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/cleanup.txt" wine_run "$temp\\TMBYE2E0\\setup.exe" "-s$dist" -c
  rc=$?
  check "cleanup: exit code 0" [ "$rc" = 0 ]
  check "cleanup: the loader's folder is emptied" [ ! -e "$loader/setup.1" ]
  # The cleanup batch waits for the program's end, then removes the folder with it (RD /S /Q on
  # the NT family, where there is no DELTREE).
  for _ in $(seq 1 20); do [ -e "$loader" ] || break; sleep 1; done
  check "cleanup: the loader's folder and the program in it are gone within 20 s" [ ! -e "$loader" ]
  # A folder of another shape below the temporary folder is not the loader's.
  other="$temp_unix/Downloads.e2e"
  rm -rf "$other"
  mkdir -p "$other"
  cp "$exe" "$other/setup.exe"
  echo mine >"$other/letter.txt"
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/cleanup-other.txt" wine_run "$temp\\Downloads.e2e\\setup.exe" "-s$dist" -c
  check "cleanup: another folder below the temporary folder keeps its files" [ -f "$other/letter.txt" ]
  rm -rf "$other" "$loader"
else
  check "cleanup: the temporary folder $temp is found" false
fi
mkdir -p "$work/downloads"
cp "$exe" "$work/downloads/setup.exe"
echo mine >"$work/downloads/letter.txt"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/nocleanup.txt" wine_run "$work/downloads/setup.exe" "-s$dist" -c
rc=$?
check "no cleanup elsewhere: exit code 0" [ "$rc" = 0 ]
check "no cleanup elsewhere: the folder keeps its files" \
  [ -f "$work/downloads/letter.txt" ] && [ -f "$work/downloads/setup.exe" ]

exit $fail
