#!/usr/bin/env bash
# The window model's test form on real windows under Wine (32-bit, winxp), driven by the UI driver
# from another process with real messages:
#  1. the form with every control: the driver lists it, types, selects, clicks and presses Next;
#     the form's log shows each event and the result; a screenshot inside a Wine desktop is kept
#     in build/e2e/widgets/widgetform.png;
#  2. the stage form with two hosted pages: the close box is refused, Enter presses the current
#     page's Next, the radio group and Finish end it.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bin="${TMBY_WIN32_TESTS:-$here/build/win32/tests}"
source "$here/tests/support/e2e.sh"
e2e_start widgets
require "$bin/widgetform.exe" "$bin/uidriver.exe"
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version winxp "$@"; }
# Paths for the Windows programs: Wine's Z: drive is the Linux root.
win() { echo "Z:$1"; }

# 0. A picture of the form inside a Wine desktop (frames, fonts), for people to look at.
wine_run --timeout 60 --desktop 800x600 --screenshot "$work/widgetform.png" --shot-delay 8 \
  "$bin/widgetform.exe" --exit-after 10000 --log "$(win "$work/shot.log")"
check "screenshot: the form came up and went" grep -qx 'result 3' "$work/shot.log"
check "screenshot taken" [ -s "$work/widgetform.png" ]

# 1. Every control. The form runs in the background; the driver (another program) plays the user.
cat >"$work/walk.txt" <<'TXT'
wait "Widget test form"
list "Widget test form"
type "Widget test form" name:edDestDir "D:\Widgets"
select "Widget test form" name:FolderListBox Games
select "Widget test form" name:RG "Yes, reboot now"
click "Widget test form" "I agree"
click "Widget test form" "Browse"
select "Widget test form" name:Tabs #2
expect "Widget test form" name:edDestDir "D:\Widgets"
click "Widget test form" "Next >"
gone "Widget test form"
TXT
wine_run --timeout 60 "$bin/widgetform.exe" --log "$(win "$work/form.log")" &
form=$!
wine_run --timeout 60 "$bin/uidriver.exe" --timeout 20000 --script "$(win "$work/walk.txt")" \
  >"$work/walk.out" 2>&1
rc=$?
check "driver walk: exit 0" [ "$rc" = 0 ]
wait $form
rc=$?
check "form: ends with OK (1)" [ "$rc" = 1 ]
check "list: the edit with its component name" grep -q 'Edit id=[0-9]* name=edDestDir "C:\\\\Program Files\\\\Widgets"' "$work/walk.out"
check "list: the rich-text viewer" grep -q 'RichEdit20A id=[0-9]* name=Agreement "LICENCE AGREEMENT' "$work/walk.out"
check "list: the default button" grep -q 'Button id=[0-9]* name=ProceedBtn "Next >"' "$work/walk.out"
check "log: typed, one change a key" [ "$(grep -c '^change edDestDir' "$work/form.log")" = 11 ]
check "log: the list" grep -qx 'select FolderListBox 2 Games' "$work/form.log"
check "log: the radio group" grep -qx 'select RG 0' "$work/form.log"
check "log: the check box" grep -qx 'check Agree 1' "$work/form.log"
check "log: the tab" grep -qx 'tab Tabs 2' "$work/form.log"
check "log: Browse, then Next" diff <(grep '^click' "$work/form.log") <(printf 'click BrowseBtn\nclick ProceedBtn\n')

# 2. The stage with hosted pages.
cat >"$work/stage.txt" <<'TXT'
wait "~First page"
close "~First page"
sleep 300
type "~First page" name:FolderEdit Tools
key "~First page" enter
wait "~Second page"
select "~Second page" name:RG #0
click "~Second page" Finish
gone "~Second page"
TXT
wine_run --timeout 60 "$bin/widgetform.exe" --stage --log "$(win "$work/stage.log")" &
form=$!
wine_run --timeout 60 "$bin/uidriver.exe" --timeout 20000 --script "$(win "$work/stage.txt")" \
  >"$work/stage.out" 2>&1
rc=$?
check "stage walk: exit 0" [ "$rc" = 0 ]
wait $form
rc=$?
check "stage: ends with OK (1)" [ "$rc" = 1 ]
check "stage: the close box was refused" grep -qx 'close refused' "$work/stage.log"
check "stage: Enter pressed the first page's Next" grep -qx 'page 1' "$work/stage.log"
check "stage: the second page's radio group" grep -qx 'select RG 0' "$work/stage.log"
check "stage: typed into the first page" grep -qx 'change FolderEdit Tools' "$work/stage.log"
[ $fail = 0 ] || cat "$work/walk.out" "$work/stage.out"
exit $fail
