#!/usr/bin/env bash
# The build mode under Wine (32-bit), as a vendor uses it: the sample product's setup program,
# started with -b beside a BUILD.INF, writes the stand-alone distribution, and a user's run of
# that distribution's setup.exe installs the product:
#  1. without BUILD.INF the build ends with its box and exit code 1, and writes nothing;
#  2. with it, the build writes setup.exe, setup.1 and files.1 (the product's files) into the
#     folder of its first line (the second line is not used), with the kit's loading program
#     found beside the program;
#  3. the distribution's setup.exe (the loading program) accepts its trailer and checksum, starts
#     the engine it unpacks, and the install ends well on winxp and on win98;
#  4. a setup.exe with one byte changed, or cut short (a download that stopped early), is refused
#     with a box and starts nothing.
set -uo pipefail
# The setup program speaks the user's language: the messages checked below are the English ones.
export LANG=C LC_ALL=C
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tests/support/e2e.sh"
e2e_start build_distribution
mkdir -p "$work/kit"
# The definition names the product's files relative to the top of the kit.
cd "$here"
require "$engine" "$loader" "$stamp"
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version "$1" --timeout 120 "${@:2}"; }
boxes() { tr -d '\r' <"$1" | grep '^| ' || true; }

# The vendor's folder: the product's setup program and the kit's loading program beside it.
exe="$work/kit/LakesideSetup.exe"
"$stamp" "$engine" "$here/samples/notes/product.tmby" "$exe" >/dev/null
cp "$loader" "$work/kit/TamberlyLoadProgram.exe"
# The kit's folder is looked up in the registry first: none is registered in the test prefix.
wine_run winxp reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1

# 1. No BUILD.INF.
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/nobuildinf.txt" wine_run winxp "$exe" -b
rc=$?
check "no BUILD.INF: exit code 1" [ "$rc" = 1 ]
check "no BUILD.INF: its message" [ "$(boxes "$work/nobuildinf.txt")" = \
  "| Need to have a BUILD.INF file in this directory with the first line specifying the build directory" ]

# 2. The build.
printf '%s\r\n%s\r\n' "$(winpath "$work/dist")" "$(winpath "$work/other")" >"$work/kit/BUILD.INF"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/build.txt" wine_run winxp "$exe" -b
rc=$?
check "build: exit code 0" [ "$rc" = 0 ]
check "build: no message box" [ -z "$(boxes "$work/build.txt")" ]
written() { for f in "$@"; do [ -f "$work/dist/$f" ] || return 1; done; }
check "build: setup.exe and setup.1 written" written setup.exe setup.1
check "build: files.1 written" written files.1
check "build: only the first line of BUILD.INF counts" [ ! -e "$work/other" ]
size() { if [ -f "$1" ]; then stat -c %s "$1"; else echo 0; fi; }
total=$(($(size "$loader") + $(size "$work/dist/setup.1") + $(size "$work/dist/files.1") + 96))
check "build: setup.exe is the loader, setup.1, files.1, trailer and checksum" \
  [ "$(size "$work/dist/setup.exe")" = "$total" ]
check "build: the checksum is 40 hexadecimal digits" \
  grep -qE '^[0-9A-F]{40}$' <(tail -c 40 "$work/dist/setup.exe"; echo)

# 3. The user's run of the distribution, which is setup.exe alone.
mkdir -p "$work/user"
cp "$work/dist/setup.exe" "$work/user/setup.exe"
for version in winxp win98; do
  "$here/scripts/wine.sh" "${prefix[@]}" --stop
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/install-$version.txt" \
    wine_run "$version" "$work/user/setup.exe"
  rc=$?
  check "install ($version): exit code 0" [ "$rc" = 0 ]
  check "install ($version): the engine unpacked by the loader reaches the good end" \
    grep -qx 'stage -979 good install' <(tr -d '\r' <"$work/install-$version.txt")
done
"$here/scripts/wine.sh" "${prefix[@]}" --stop

# 4. One byte changed in the middle.
cp "$work/dist/setup.exe" "$work/user/damaged.exe"
python3 - "$work/user/damaged.exe" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(0, 2)
    middle = f.tell() // 2
    f.seek(middle)
    byte = f.read(1)[0]
    f.seek(middle)
    f.write(bytes([byte ^ 0x01]))
PY
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/damaged.txt" wine_run winxp "$work/user/damaged.exe"
rc=$?
check "damaged: exit code 1" [ "$rc" = 1 ]
check "damaged: a box and no engine" \
  bash -c "[ -n \"\$(grep '^| ' '$work/damaged.txt')\" ] && ! grep -q '^stage' '$work/damaged.txt'"

# Cut short: the last 1000 bytes (the trailer, the checksum and the end of files.1) never came.
head -c $(($(size "$work/dist/setup.exe") - 1000)) "$work/dist/setup.exe" >"$work/user/short.exe"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/short.txt" wine_run winxp "$work/user/short.exe"
rc=$?
check "cut short: exit code 1" [ "$rc" = 1 ]
check "cut short: the box says the setup information is missing, and no engine starts" \
  bash -c "grep -q '^| .*setup information' '$work/short.txt' && ! grep -q '^stage' '$work/short.txt'"

exit $fail
