#!/usr/bin/env bash
# The dialogs of the sample product under Wine (32-bit, winxp) with the scripted UI: an unattended run
# takes every page's default answer (licence, destination, good end) and its transcript lists each
# page with its texts, in English and, with the user's language German, in German.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
engine="${TMBY_SETUP_TEST_EXE:-$here/build/win32/apps/setup/setup-test.exe}"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
work="${TMBY_E2E_DIR:-$here/build/e2e}/dialogs"
rm -rf "$work"
mkdir -p "$work"
source "$here/tests/e2e/lib.sh"
for f in "$engine" "$stamp"; do
  [ -f "$f" ] || { echo "FAILED: $f was not built"; exit 1; }
done
prefix=()
[ -n "${TMBY_WINE_PREFIX:-}" ] && prefix=(--prefix "$TMBY_WINE_PREFIX")
wine_run() { LANG=C LC_ALL=C "$here/scripts/wine.sh" "${prefix[@]}" --version winxp "$@"; }
clean_state() {
  wine_run --timeout 60 reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
  wine_run --timeout 60 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f \
    >/dev/null 2>&1
}

# The sample with a dialog manager for each of its stages.
managers=""
for stage in BeforeInstall AfterGoodInstall AfterBadInstall DuringCopyFiles ChangeDisk Reboot; do
  managers+="  object ${stage}Dialogs: TDialogManager\n    Container = Install1\n"
  managers+="    ManagerType = dm${stage}\n  end\n"
done
sed -e "s/^  object MainTranslator: TTranslator$/${managers}&/" \
  "$here/samples/notes/product.tmby" >"$work/product.tmby"
exe="$work/LakesideSetup.exe"
wine_run --timeout 120 "$stamp" "$engine" "$work/product.tmby" "$exe" >/dev/null 2>&1
# The licence ships beside the setup program; the product's files come from the distribution.
cp "$here/samples/notes/files/License.rtf" "$work/"
check "the sample's distribution is built" sample_distribution "$exe" "$work/dist" wine_run --timeout 120
dist=$(winpath "$work/dist")
clean_state

# An unattended run in each language.
for locale in C de_DE.UTF-8; do
  env LANG=$locale LC_ALL=$locale TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/script-$locale.txt" \
    "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 "$exe" "-s$dist"
  check "scripted run ($locale): exit code 0" [ $? = 0 ]
  clean_state
done
english="$work/script-C.txt"
german="$work/script-de_DE.UTF-8.txt"
check "English: the licence page with its texts" \
  grep -q '^    label Label1 "Please read the following License Agreement."' "$english"
check "English: the pages in order" \
  bash -c "tr -d '\r' <'$english' | grep -E '^script end: accept' | head -3 | diff - <(printf '%s\n' \
    'script end: accept LicenseForm.ProceedBtn' 'script end: accept SelectDestinationForm.ProceedBtn' \
    'script end: accept GoodInstallForm.FinishBtn')"
heading=$(grep '^2;' "$here/lang/tmbiGerman.txt" | cut -d';' -f2- | tr -d '\r')
check "German: the licence heading from the German file" \
  grep -qF "label Label1 \"$heading\"" "$german"
next=$(grep '^5;' "$here/lang/tmbiGerman.txt" | cut -d';' -f2- | tr -d '\r')
check "German: the Next button" grep -qF "button ProceedBtn \"$next\"" "$german"
[ $fail = 0 ] || tail -n 20 "$work"/*.log
exit $fail
