#!/usr/bin/env bash
# The languages under Wine (32-bit, winxp), with the user's language switched (Wine takes it from
# the locale it is started in) to German, Japanese, Russian, Hebrew and Chinese:
#  1. the translator chooses that language, GDI gives the font it sets that language's character
#     set, and that font draws the language's letters from its code page as the wide API does
#     (the Windows tests TranslateWin32Test.*);
#  2. the sample product's setup program (made by tmbystamp, which puts the kit's 21 language files
#     into it) started with an unknown switch ends with the catalogue's message in that language,
#     as the language file has it, in its fatal-error box (scripted UI transcript);
#  3. with real windows the box shows the message in that script: a screenshot of each is left in
#     build/e2e/languages/<locale>.png.
# It runs in a prefix of its own, whose message-box font is replaced by one that holds the script
# (Wine's Tahoma has no Japanese, Chinese or Hebrew letters; font links did not take effect here).
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build="${TMBY_BUILD_DIR:-$here/build/win32}"
source "$here/tests/support/e2e.sh"
e2e_start languages
engine="$build/apps/setup/setup-test.exe"
stamp="$build/apps/tmbystamp/tmbystamp.exe"
tests="$build/tests/tmby_wintests.exe"
prefix="${TMBY_WINE_PREFIX:-$here/build/wineprefix-languages}"
require "$engine" "$stamp" "$tests"
wine_run() { "$here/scripts/wine.sh" --prefix "$prefix" --version winxp "$@"; }
# Runs a command with the locale of the language under test (Wine takes the user's language from
# it); the shell itself keeps its own, which the machine may not have.
in_locale() { LANG="$locale" LC_ALL="$locale" "$@"; }
link_fonts() {  # link_fonts FACE: the message-box and dialog fonts draw with FACE
  local font
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do printf '"%s"="%s"\r\n' "$font" "$1"; done
  } >"$work/fonts.reg"
  LANG=C wine_run --timeout 60 reg import "$(winpath "$work/fonts.reg")" </dev/null >/dev/null 2>&1
}

# The sample product's setup program, languages included.
exe="$work/LakesideSetup.exe"
LANG=C wine_run --timeout 120 "$stamp" "$engine" "$here/samples/notes/product.tmby" "$exe" \
  >"$work/stamp.txt" 2>&1
check "tmbystamp carries the 21 languages" grep -q 'and 21 languages' "$work/stamp.txt"
check "tmbystamp finds nothing to warn about" [ "$(grep -c warning "$work/stamp.txt")" = 0 ]

while read -r locale language file fonts; do
  exec 3<&0 </dev/null  # Wine reads standard input: keep it away from the list below
  echo "== $locale ($language)"
  wine_run --stop >/dev/null 2>&1
  link_fonts "$fonts"
  (cd "$(dirname "$tests")" &&
    TMBY_EXPECTED_LANGUAGE="$language" in_locale wine_run --timeout 300 ./tmby_wintests.exe \
      --gtest_filter='TranslateWin32Test.*') >"$work/$locale-tests.log" 2>&1
  check "$locale: chosen language, font and character set" grep -q '^\[  PASSED  \] 3 tests' \
    "$work/$locale-tests.log"
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/$locale.txt" in_locale wine_run --timeout 120 "$exe" -x
  rc=$?
  expected=$(grep '^1031;' "$here/lang/$file" | cut -d';' -f2 | sed 's/%s/-x/')
  check "$locale: exit code 217" [ "$rc" = 217 ]
  check "$locale: the message in its language" grep -qxF "| $expected." "$work/$locale.txt"
  in_locale wine_run --timeout 60 --desktop 800x600 --screenshot "$work/$locale.png" \
    --shot-delay 30 --shot-drawn --shot-end "$exe" -x >/dev/null 2>&1
  check "$locale: a screenshot of the box" [ -s "$work/$locale.png" ]
  exec 0<&3 3<&-
done <<'LANGUAGES'
de_DE.UTF-8 tlGerman tmbiGerman.txt DejaVu Sans
ja_JP.UTF-8 tlJapanese tmbiJapanese.txt WenQuanYi Micro Hei
ru_RU.UTF-8 tlRussian tmbiRussian.txt DejaVu Sans
he_IL.UTF-8 tlHebrew tmbiHebrew.txt DejaVu Sans
zh_CN.UTF-8 tlChineseSimplified tmbiChineseSimplified.txt WenQuanYi Micro Hei
LANGUAGES

"$here/scripts/wine.sh" --prefix "$prefix" --stop >/dev/null 2>&1
exit $fail
