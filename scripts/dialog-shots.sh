#!/usr/bin/env bash
# Pictures of every page of the sample product's setup, as a user sees them: real windows with
# frames (a Wine desktop) under Xvfb, walked by the UI driver, in each language asked for.
#
#   scripts/dialog-shots.sh DIST OUTDIR [LOCALE...]     (default locale: C, English)
#
# DIST is a distribution of the sample made with the test engine (setup-test.exe), as make demo
# builds it (out/demo/dist). For each locale, OUTDIR/<language>/ receives licence.png,
# destination.png, browse.png, folder.png (when the sample has a program folder), good.png,
# copy.png, cancel.png (the question after Cancel in the copy window), bad.png and reboot.png.
# Scripts beyond Latin and Cyrillic draw with a font that holds them, put in for the dialog fonts
# as the languages test does. Runs in a Wine prefix of its own (build/wineprefix-shots); exits
# non-zero when a page did not come (NAME-failed.png shows the display then).
#
# The environment chooses the machine: TMBY_SHOTS_VERSION the Windows Wine reports (default winxp),
# TMBY_SHOTS_DPI the display's pixels per inch (Wine's LogPixels; default 96), TMBY_SHOTS_API=ansi
# the system's ANSI functions as on Windows 95, 98 and ME (the test engine's TMBY_WIN32_API), and
# TMBY_SHOTS_PREFIX / TMBY_SHOTS_ARCH the prefix (a win32 one for the 9x family).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:?distribution folder}" && pwd)
out=${2:?output folder}
shift 2
[ $# = 0 ] && set -- C
mkdir -p "$out"
out=$(cd "$out" && pwd)
driver="$here/build/win32/tests/uidriver.exe"
engine="$here/build/win32/apps/setup/setup-test.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
prefix="${TMBY_SHOTS_PREFIX:-$here/build/wineprefix-shots}"
arch="${TMBY_SHOTS_ARCH:-win64}"
version="${TMBY_SHOTS_VERSION:-winxp}"
dpi="${TMBY_SHOTS_DPI:-96}"
api=()
[ -n "${TMBY_SHOTS_API:-}" ] && api=("TMBY_WIN32_API=$TMBY_SHOTS_API")
for f in "$dist/setup.exe" "$driver" "$engine" "$stamp"; do
  [ -f "$f" ] || { echo "dialog-shots: $f is missing" >&2; exit 2; }
done
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
wine_run() {
  LANG=C LC_ALL=C "$here/scripts/wine.sh" --arch "$arch" --prefix "$prefix" --version "$version" "$@"
}
stage="name:BaseFormContainer"
fail=0

# walk DIR NAME [ENV=VALUE...]: the setup program with real windows in the prefix's desktop,
# driven by the commands on standard input; "shot NAME" lines take a picture.
walk() {
  local dir=$1 name=$2
  shift 2
  wine_run --timeout 60 reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
  (env "$@" "${api[@]}" LANG="$locale" LC_ALL="$locale" "$here/scripts/wine.sh" --arch "$arch" \
    --prefix "$prefix" --version "$version" --timeout 180 "${program[@]}" >"$dir/$name.out" 2>&1) &
  local pid=$! line
  while IFS= read -r line; do
    [ -z "$line" ] && continue
    if [[ $line == shot\ * ]]; then
      sleep 1
      import -display "$(cat "$prefix/state/xvfb.display")" -window root "$dir/${line#shot }.png" \
        2>/dev/null
      continue
    fi
    printf '%s\n' "$line" >"$dir/$name.uid"
    if ! wine_run --timeout 60 "$driver" --timeout 30000 --script "$(winpath "$dir/$name.uid")" \
      >>"$dir/$name.log" 2>&1 </dev/null; then
      echo "dialog-shots: $locale, $name: '$line' failed ($(tail -n 1 "$dir/$name.log"))" >&2
      fail=1
      import -display "$(cat "$prefix/state/xvfb.display")" -window root "$dir/$name-failed.png" \
        2>/dev/null
      WINEPREFIX="$prefix/prefix" wineserver -k >/dev/null 2>&1
      break
    fi
  done
  wait $pid
}

for locale in "$@"; do
  case "$locale" in
    C|en*) language=English font="" ;;
    de*) language=German font="" ;;
    ru*) language=Russian font="" ;;
    el*) language=Greek font="DejaVu Sans" ;;
    pt*) language=Portuguese font="" ;;
    he*) language=Hebrew font="DejaVu Sans" ;;
    ja*) language=Japanese font="WenQuanYi Micro Hei" ;;
    zh*) language=Chinese font="WenQuanYi Micro Hei" ;;
    *) language=$locale font="" ;;
  esac
  dir="$out/$language"
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "== $language ($locale): $dir"
  wine_run --stop >/dev/null 2>&1
  # The display's pixels per inch, as the system and GDI read them (effective from the next start).
  wine_run --timeout 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
  wine_run --timeout 60 reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
  wine_run --stop >/dev/null 2>&1
  # Every program of the prefix in one Wine desktop, which draws the frames (no window manager
  # runs under Xvfb); the UI driver sees the setup's windows only from the same desktop.
  wine_run --timeout 60 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
    >/dev/null 2>&1
  wine_run --timeout 60 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 \
    /f >/dev/null 2>&1
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" Arial "MS Sans Serif"; do
    if [ -n "$font" ]; then
      wine_run --timeout 60 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "$font" \
        /f >/dev/null 2>&1
    else
      wine_run --timeout 60 reg delete 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /f \
        >/dev/null 2>&1
    fi
  done
  folder_page=""
  grep -q ': TMainLinkGroup$' "$here/samples/notes/product.tmby" &&
    folder_page=$(printf 'wait %s name:SelectFolderForm\nshot folder\nclick %s name:ProceedBtn' \
      "$stage" "$stage")
  program=("$dist/setup.exe")
  # The good walk.
  walk "$dir" good <<EOF
wait $stage name:LicenseForm
shot licence
click $stage name:ProceedBtn
wait $stage name:SelectDestinationForm
shot destination
post $stage name:BrowseBtn
wait class:#32770
shot browse
click class:#32770 id:2
gone class:#32770
click $stage name:ProceedBtn
$folder_page
wait $stage name:GoodInstallForm
shot good
click $stage name:FinishBtn
EOF
  # Cancel in the copy window, held up long enough for its picture, confirmed: the question and
  # the bad end.
  walk "$dir" cancel TMBY_HOLD_COPY_MS=400 <<EOF
wait $stage name:LicenseForm
click $stage name:ProceedBtn
wait $stage name:SelectDestinationForm
click $stage name:ProceedBtn
$folder_page
wait name:CopyFileForm
shot copy
post name:CopyFileForm name:CancelBtn
wait class:#32770
shot cancel
click class:#32770 id:6
wait $stage name:BadInstallForm
shot bad
click $stage name:FinishBtn
EOF
  # A run that needs a restart, declined: a setup program stamped from the sample with its
  # languages, the restart flag set, started on the distribution's archives.
  sed -e 's/^  object Install1: TInstall$/  object Install1: TInstall\n    Reboot = True/' \
    "$here/samples/notes/product.tmby" >"$dir/reboot.tmby"
  wine_run --timeout 120 "$stamp" "$engine" "$dir/reboot.tmby" "$dir/RebootSetup.exe" >/dev/null 2>&1
  cp "$here/samples/notes/files/License.rtf" "$dir/"
  program=("$dir/RebootSetup.exe" "-s$(winpath "$dist")")
  walk "$dir" reboot <<EOF
wait $stage name:LicenseForm
click $stage name:ProceedBtn
wait $stage name:SelectDestinationForm
click $stage name:ProceedBtn
$folder_page
wait $stage name:RebootForm
shot reboot
select $stage name:RG #1
click $stage name:FinishBtn
EOF
done
"$here/scripts/wine.sh" --arch "$arch" --prefix "$prefix" --stop >/dev/null 2>&1
exit $fail
