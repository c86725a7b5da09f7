#!/usr/bin/env bash
# The sample product's dialogs under Wine (32-bit, winxp), started as a user starts it: the
# distribution's setup.exe, whose loading program unpacks the setup program and the licence.
#  1. Real windows, played by the UI driver from another process with real messages: licence ->
#     destination (Browse, opened with its shortcut Alt+B, confirms the proposed folder, then a
#     typed one that Back and Next keep) -> program folder (Alt+P and Alt+X move the focus to the
#     edit and the list) -> good end; exit code 0 and the files in the
#     typed folder; the stage window's close box is refused; the folder made for the browser is
#     removed again. A picture of every page is kept in build/e2e/dialogs/*.png.
#  2. Cancel answered No stays on the page; answered Yes it ends in the bad-install page and the
#     user-abort exit code 2.
#  3. A run that needs a restart: the reboot page opens on "Yes"; the user takes "No" and Finish
#     with the keyboard alone (Tab, Down, Enter), and the program ends without restarting Windows.
#  4. The scripted UI: an unattended run takes every page's default answer, and its transcript
#     lists each page with its texts, in English and, with the user's language German, in German.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tests/support/e2e.sh"
e2e_start dialogs
driver="${TMBY_WIN32_TESTS:-$here/build/win32/tests}/uidriver.exe"
require "$engine" "$stamp" "$driver"
wine_run() { LANG=C LC_ALL=C "$here/scripts/wine.sh" "${prefix[@]}" --version winxp "$@"; }
clean_state() {
  wine_run --timeout 60 reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
  wine_run --timeout 60 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f \
    >/dev/null 2>&1
}
drive_c="$prefix_dir/prefix/drive_c"
# drive NAME: the driver commands on standard input, in one driver process (its log: NAME.log).
drive() {
  cat >"$work/$1.uid"
  wine_run --timeout 120 "$driver" --timeout 30000 --script "$(winpath "$work/$1.uid")" \
    >"$work/$1.log" 2>&1
}
shot() {  # shot NAME: the display as it is now
  import -display "$(cat "$prefix_dir/state/xvfb.display")" -window root "$work/$1.png" 2>/dev/null
}
# start_setup NAME [ENV=VALUE...]: the distribution's setup.exe with real windows, in the
# background; finished NAME waits for its end and gives its exit code.
start_setup() {
  local name=$1
  shift
  (env "$@" LANG=C LC_ALL=C "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 180 \
    "$work/dist/setup.exe" >"$work/$name.out" 2>&1
  echo $? >"$work/$name.rc") &
}
finished() {
  for _ in $(seq 1 120); do
    [ -f "$work/$1.rc" ] && { cat "$work/$1.rc"; return; }
    sleep 1
  done
  echo timeout
}

exe="$work/LakesideSetup.exe"
"$stamp" "$engine" "$here/samples/notes/product.tmby" "$exe" >/dev/null 2>&1
check "the sample's distribution is built" sample_distribution "$exe" "$work/dist" wine_run --timeout 120
clean_state
lic="Software license agreement"
dest="Choose Destination Location"
folder="Select folder in start menu"
box="Installation of Lakeside Notes"

# 1. The good walk. The proposed destination must not exist yet, so that the browser needs it made.
programs="$drive_c/Program Files"
[ -d "$drive_c/Program Files (x86)" ] && programs="$drive_c/Program Files (x86)"
rm -rf "$programs/Lakeside Notes" "$drive_c/Lakeside Typed"
start_setup walk
drive licence <<EOF
wait "$lic"
sleep 500
list "$lic"
EOF
check "licence page shown" [ $? = 0 ]
shot licence
check "licence: the heading" grep -q 'name=Label1 "Please read the following License Agreement."' \
  "$work/licence.log"
check "licence: License.rtf from the distribution in the rich-edit control" \
  grep -q 'RichEdit20A id=[0-9]* name=Agreement "LAKESIDE NOTES' "$work/licence.log"
check "licence: Back hidden on the first page" \
  grep -q 'name=BackBtn "< Back".* hidden' "$work/licence.log"
drive destination <<EOF
close "$lic"
sleep 300
wait "$lic"
click "$lic" name:ProceedBtn
wait "$dest"
sleep 500
list "$dest"
EOF
check "licence: the close box was refused, Next went on to the destination" [ $? = 0 ]
shot destination
proposed=$(sed -n 's/.*name=edDestDir "\(.*\)".*/\1/p' "$work/destination.log" | sed 's/\\\\/\\/g')
check "destination: the install's directory proposed" grep -q '\\Lakeside Notes$' <<<"$proposed"
drive browse <<EOF
key "$dest" alt+b
wait "class:#32770"
sleep 500
EOF
check "browse: the system's folder browser opened" [ $? = 0 ]
shot browse
check "browse: the proposed folder was made for the browser" [ -d "$programs/Lakeside Notes" ]
drive typed <<EOF
click "class:#32770" OK
gone "class:#32770"
expect "$dest" name:edDestDir "$proposed"
type "$dest" name:edDestDir "C:\Lakeside Typed"
click "$dest" name:BackBtn
wait "$lic"
click "$lic" name:ProceedBtn
expect "$dest" name:edDestDir "C:\Lakeside Typed"
click "$dest" name:ProceedBtn
EOF
check "browse OK took the proposed folder; the typed one is kept after Back and Next" [ $? = 0 ]
check "browse: the folder made for the browser is removed again" [ ! -e "$programs/Lakeside Notes" ]
drive folder <<EOF
wait "$folder"
sleep 500
EOF
check "program folder page shown" [ $? = 0 ]
shot folder
drive folder-next <<EOF
key "$folder" alt+p
focused "$folder" name:FolderEdit
key "$folder" alt+x
focused "$folder" name:FolderListBox
click "$folder" name:ProceedBtn
EOF
check "program folder: Alt+P and Alt+X reach the edit and the list" [ $? = 0 ]
drive good <<EOF
wait "Setup complete"
sleep 500
list "Setup complete"
EOF
check "good end shown" [ $? = 0 ]
shot good
check "good end: Finish, no Back, no Next" \
  bash -c "grep -q 'name=FinishBtn \"Finish\"' '$work/good.log' &&
    grep -q 'name=ProceedBtn .* hidden' '$work/good.log' &&
    grep -q 'name=BackBtn .* hidden' '$work/good.log'"
drive finish <<EOF
click "Setup complete" name:FinishBtn
EOF
check "good walk: exit code 0" [ "$(finished walk)" = 0 ]
check "good walk: the product in the typed folder" [ -f "$drive_c/Lakeside Typed/LakeNotes.exe" ]
clean_state

# 2. Cancel: No stays, Yes ends.
start_setup cancel
drive cancel-no <<EOF
wait "$lic"
post "$lic" name:CancelBtn
wait "$box"
EOF
check "Cancel asks" [ $? = 0 ]
sleep 0.5
shot cancel-question
drive cancel-yes <<EOF
click "$box" No
gone "$box"
click "$lic" name:ProceedBtn
wait "$dest"
post "$dest" name:CancelBtn
wait "$box"
click "$box" Yes
wait "Setup incomplete"
sleep 500
EOF
check "Cancel answered No goes on; answered Yes ends in the bad-install page" [ $? = 0 ]
shot bad
drive bad-finish <<EOF
click "Setup incomplete" name:FinishBtn
EOF
check "cancelled run: exit code 2" [ "$(finished cancel)" = 2 ]
clean_state

# 3. A restart is needed; the user declines it.
sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    Reboot = True/' \
  "$here/samples/notes/product.tmby" >"$work/reboot.tmby"
start_setup reboot TMBY_DEFINITION="$(winpath "$work/reboot.tmby")"
drive reboot <<EOF
wait "$lic"
click "$lic" name:ProceedBtn
wait "$dest"
click "$dest" name:ProceedBtn
wait "$folder"
click "$folder" name:ProceedBtn
wait "Reboot windows"
sleep 500
list "Reboot windows"
EOF
check "reboot page shown" [ $? = 0 ]
shot reboot
check "reboot page: opens on Yes" grep -q '"Yes, I would like to reboot windows".* checked' \
  "$work/reboot.log"
drive reboot-no <<EOF
focused "Reboot windows" name:FinishBtn
key "Reboot windows" tab
focused "Reboot windows" name:RG
key "Reboot windows" down
key "Reboot windows" enter
EOF
check "reboot page: No and Finish taken from the keyboard" [ $? = 0 ]
check "reboot declined: exit code 0" [ "$(finished reboot)" = 0 ]
check "reboot declined: no restart was asked of Windows" \
  bash -c "! grep -qi 'restart\|reboot' '$work/reboot.out'"
clean_state

# 4. The scripted UI in two languages: an unattended run takes every page's default answer.
for locale in C de_DE.UTF-8; do
  env LANG=$locale LC_ALL=$locale TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/script-$locale.txt" \
    "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 "$work/dist/setup.exe"
  check "scripted run ($locale): exit code 0" [ $? = 0 ]
  clean_state
done
english="$work/script-C.txt"
german="$work/script-de_DE.UTF-8.txt"
check "English: the licence page with its texts" \
  grep -q '^    label Label1 "Please read the following License Agreement."' "$english"
check "English: the pages in order" \
  bash -c "tr -d '\r' <'$english' | grep -E '^script end: accept' | head -4 | diff - <(printf '%s\n' \
    'script end: accept LicenseForm.ProceedBtn' 'script end: accept SelectDestinationForm.ProceedBtn' \
    'script end: accept SelectFolderForm.ProceedBtn' 'script end: accept GoodInstallForm.FinishBtn')"
heading=$(grep '^2;' "$here/lang/tmbiGerman.txt" | cut -d';' -f2- | tr -d '\r')
check "German: the licence heading from the German file" \
  grep -qF "label Label1 \"$heading\"" "$german"
next=$(grep '^5;' "$here/lang/tmbiGerman.txt" | cut -d';' -f2- | tr -d '\r')
check "German: the Next button" grep -qF "button ProceedBtn \"$next\"" "$german"
"$here/scripts/wine.sh" "${prefix[@]}" --stop >/dev/null 2>&1
[ $fail = 0 ] || tail -n 5 "$work"/*.log
exit $fail
