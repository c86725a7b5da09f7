#!/usr/bin/env bash
# The setup program's main window under Wine (32-bit, winxp):
#  0. the engine that ships reads none of the test variables; its test flavour does;
#  1. with real windows it shows the title band and the splash picture, maximized (screenshot,
#     band pixels checked), while the run waits (RunAutomatic off);
#  2. under the scripted UI a second activation does nothing more;
#  3. a missing prerequisite library ends with the warning in the transcript and exit code 1;
#  4. a broken definition ends with the fatal-error box and exit code 217;
#  5-6. two install roots and an unknown switch end with their exact message and exit code 217;
#  7. every install object of the sample has a destination on the running Windows.
set -uo pipefail
# The setup program speaks the user's language: the messages checked below are the English ones.
export LANG=C LC_ALL=C
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tests/support/e2e.sh"
e2e_start main_window
shipping="$(dirname "$engine")/setup.exe"
stamp="$(dirname "$engine")/../tmbystamp/tmbystamp.exe"
exe="$work/LakesideSetup.exe"
require "$engine"
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 "$@"; }

# 0. The sample product's setup program, made by the Windows tmbystamp; the plain engine carries
# no definition and says so. The shipping engine does not even name the test variables.
for v in TMBY_DEFINITION TMBY_DESTINATIONS TMBY_UI TMBY_KILL_AT TMBY_EXIT_AFTER_MS; do
  check "shipping engine: no $v" [ "$(grep -ac "$v" "$shipping")" = 0 ]
done
check "test engine: reads TMBY_DEFINITION" [ "$(grep -ac TMBY_DEFINITION "$engine")" != 0 ]
wine_run "$stamp" "$engine" "$here/samples/notes/product.tmby" "$exe" >"$work/stamp.txt" 2>&1
check "tmbystamp makes the setup program" [ -f "$exe" ]
cp "$here/samples/notes/files/License.rtf" "$work/"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/plain.txt" wine_run "$engine"
rc=$?
check "plain engine: exit code 217" [ "$rc" = 217 ]
check "plain engine: carries no definition" grep -q 'carries no install definition' "$work/plain.txt"

# 1. Real windows: the band's first and last rows and the picture below it. The display is
# polled, as Wine takes a while to start. The definition leaves the run to itself, so the window
# stays as it is before the first dialog.
sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    RunAutomatic = False/' \
  "$here/samples/notes/product.tmby" >"$work/waiting.tmby"
state="$prefix_dir/state"
TMBY_DEFINITION="$work/waiting.tmby" TMBY_EXIT_AFTER_MS=20000 wine_run "$exe" &
pid=$!
pixel() { convert "$work/shot.png" -format "%[hex:p{$1,$2}]" info: 2>/dev/null; }
shown=0
for _ in $(seq 1 18); do
  sleep 1
  [ -f "$state/xvfb.display" ] || continue
  import -display "$(cat "$state/xvfb.display")" -window root "$work/shot.png" 2>/dev/null || continue
  if [ "$(pixel 10 0)" = 410100 ]; then
    shown=1
    break
  fi
done
wait $pid
rc=$?
check "real run ends normally" [ "$rc" = 0 ]
check "band top row is RGB(65,1,0)" [ "$shown" = 1 ]
check "band row 34 is RGB(127,63,0)" [ "$(pixel 1000 34)" = 7F3F00 ]
check "below the band the picture, stretched to the bottom right" [ "$(pixel 1020 760)" != 000000 ]

# 2. Scripted UI, switched away and back: one maximize, no box, exit 0 at the script's end.
printf 'activate mainForm\nactivate\n' >"$work/second.script"
TMBY_DEFINITION="$work/waiting.tmby" TMBY_UI=script TMBY_UI_SCRIPT="$work/second.script" \
  TMBY_UI_TRANSCRIPT="$work/second.txt" wine_run "$exe"
rc=$?
check "second activation: exit 0" [ "$rc" = 0 ]
check "second activation: activated three times" [ "$(grep -c '^window activate mainForm$' "$work/second.txt")" = 3 ]
check "second activation: maximized once" [ "$(grep -c '^window maximize' "$work/second.txt")" = 1 ]
check "second activation: no message box" [ "$(grep -c '^messagebox' "$work/second.txt")" = 0 ]

# 3. A prerequisite that is not there.
sed -e "s/^  PrerequisiteLibrary = .*/  PrerequisiteLibrary = 'CALWIN32.DLL'/" \
  -e "s|^  PrerequisiteMessage = .*|  PrerequisiteMessage = 'Lakeside Notes needs the Novell Client for Windows.' + #13#10 + 'Get the latest client from http://download.novell.com.'|" \
  "$here/samples/notes/product.tmby" >"$work/missing.tmby"
TMBY_DEFINITION="$work/missing.tmby" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/missing.txt" \
  wine_run "$exe"
rc=$?
check "missing library: exit code 1" [ "$rc" = 1 ]
cat >"$work/missing.expected" <<'TXT'
window create mainForm TmainForm "" -5,-5 691x515 borderless
window show mainForm
  panel Backdrop1 "" 0,0 691x35
window activate mainForm
messagebox Warning "Installation of Lakeside Notes" buttons OK default OK
| Lakeside Notes needs the Novell Client for Windows.
| Get the latest client from http://download.novell.com.
answer OK (default)
quit 1
window destroy mainForm
TXT
check "missing library: exact transcript" diff -u "$work/missing.expected" "$work/missing.txt"

# 4. A definition the reader refuses.
printf 'object mainForm: TmainForm\n  Colour = 5\nend\n' >"$work/bad.tmby"
TMBY_DEFINITION="$work/bad.tmby" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/bad.txt" wine_run "$exe"
rc=$?
check "bad definition: exit code 217" [ "$rc" = 217 ]
check "bad definition: fatal-error box" grep -q '^messagebox Stop "Application Error" buttons OK default OK$' "$work/bad.txt"
check "bad definition: class, module and address" grep -qE '^\| Exception EDefinitionError in module LakesideSetup.exe at [0-9A-F]{8}\.$' "$work/bad.txt"
check "bad definition: the reader's message" grep -q 'line 2, column 3: TmainForm has no published property "Colour"' "$work/bad.txt"

# 5. Two install roots in one definition.
sed -e 's/^  object Install1: TInstall$/  object Install0: TInstall\n  end\n  object Install1: TInstall/' \
  "$here/samples/notes/product.tmby" >"$work/two.tmby"
TMBY_DEFINITION="$work/two.tmby" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/two.txt" wine_run "$exe"
rc=$?
check "two install roots: exit code 217" [ "$rc" = 217 ]
check "two install roots: exact message" grep -qx '| The TInstall component does not currently support the use of 2 TInstall components in the same project.' "$work/two.txt"
check "two install roots: class" grep -qE '^\| Exception IEInstall in module LakesideSetup.exe at [0-9A-F]{8}\.$' "$work/two.txt"

# 6. A switch the program does not know.
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/switch.txt" wine_run "$exe" -x
rc=$?
check "invalid switch: exit code 217" [ "$rc" = 217 ]
check "invalid switch: exact message" grep -qx '| Invalid parameter <-x>. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to floppies), -e (Called by self-extractor), -r (After reboot).' "$work/switch.txt"

# 7. The destination of every install object, on the running Windows.
TMBY_DESTINATIONS="$work/destinations.txt" TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/dest.txt" \
  wine_run "$exe"
objects=$(grep -c . "$work/destinations.txt" 2>/dev/null)
# The sample holds the root, a group and three directories at the least.
check "destinations: the listing names the objects" [ "${objects:-0}" -ge 5 ]
check "destinations: every object has one" [ "$(grep -c '): [A-Z]:\\' "$work/destinations.txt")" = "${objects:-0}" ]
check "destinations: the templates folder" grep -qE '^dirTemplates \(TInstallDirectory\): C:\\Program Files( \(x86\))?\\Lakeside Notes\\Templates' "$work/destinations.txt"

exit $fail
