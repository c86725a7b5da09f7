#!/usr/bin/env bash
# A web install of the sample product under Wine (32-bit, winxp), from real servers on loopback:
#  1. a copy of the sample definition made a web distribution (DistributeType dtWeb, its net
#     location on the loopback HTTP server) is built with -b: setup.exe, and the folder the server
#     must mirror with one archive per container and per file fetched alone, and filelist.lst;
#  2. the distribution's setup.exe, with the scripted UI, installs the product from the server;
#  3. a server that dies in the middle of an archive (sent without Content-Length) ends the run in
#     the bad-install stage, with no archive recorded that looks complete; the next start, with
#     the server back, fetches that archive again and installs;
#  4. a server that stalls in the middle of an archive ends the run after the location's time-out
#     with the location's failure;
#  5. the program changes and the distribution is built again into the same folder: the install
#     from the server brings the new program, not the first build's;
#  6. the same product from the FTP server with a named login: a wrong password is refused with
#     the location's message; with the right one the product installs.
# Every server is started here and ended by its process id.
set -uo pipefail
export LANG=C LC_ALL=C
here=$(cd "$(dirname "$0")/../.." && pwd)
started_at=$(date +%s)
source "$here/tests/support/e2e.sh"
e2e_start net_install
mkdir -p "$work/kit"
require "$engine" "$loader" "$stamp"
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 "$@"; }
boxes() { tr -d '\r' <"$1" | grep '^| ' || true; }
reg_query() { wine_run reg query "$@" 2>/dev/null | tr -d '\r'; }

source "$here/tests/servers/loopback.sh"
trap stop_servers EXIT
# A port that is free now; the server started later takes it.
free_port() { "$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The product as a web distribution: the sample's definition with a net location in front of the
# root and the root pointing at it.
http_port=$(free_port)
ftp_port=$(free_port)
make_definition() {  # make_definition OUT LOCATION-LINES...
  "$python" - "$here/samples/notes/product.tmby" "$1" "${@:2}" <<'PY'
import sys
source, out, lines = sys.argv[1], sys.argv[2], sys.argv[3:]
text = open(source, encoding="latin-1").read()
root = "  object Install1: TInstall\n"
assert root in text
location = "  object NetLoc1: TNetInstallLocation\n" + "".join("    " + l + "\n" for l in lines) + "  end\n"
text = text.replace(root, location + root + "    DistributeType = dtWeb\n    NetLocation = NetLoc1\n", 1)
open(out, "w", encoding="latin-1").write(text)
PY
}
make_definition "$work/web.tmby" "LoginInformation.Hostname = '127.0.0.1:$http_port'" \
  "LoginInformation.Directory = 'lakeside'" "Timeout = 3000"
# The program's source is a copy of the sample's, which step 5 changes.
mkdir -p "$work/src"
cp "$here/build/win32/samples/notes/LakeNotes.exe" "$work/src/LakeNotes.exe"
"$python" - "$work/web.tmby" "$(winpath "$work/src")" <<'PY'
import re, sys
path, folder = sys.argv[1], sys.argv[2]
text = open(path, encoding="latin-1").read()
block = re.search(r"  object fileLakeNotes: TInstallFile\n(.*?)\n  end\n", text, re.S)
assert block
body = re.sub(r"IncludeFromDir = '[^']*'", lambda m: "IncludeFromDir = '%s'" % folder, block.group(1))
text = text[:block.start(1)] + body + text[block.end(1):]
open(path, "w", encoding="latin-1").write(text)
PY
make_definition "$work/ftp.tmby" "LoginInformation.Hostname = '127.0.0.1:$ftp_port'" \
  "LoginInformation.Directory = 'lakeside'" "LoginInformation.Protocol = ipFTP" \
  "LoginInformation.Anonymous = False" "LoginInformation.Username = 'tamberly'" \
  "LoginInformation.Password = 'lakeside'" "Timeout = 3000"
wine_run reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1
cp "$loader" "$work/kit/TamberlyLoadProgram.exe"

# 1. The builds, from the top of the kit where the definition's sources lie.
build() {  # build NAME: kit/NAME.exe built into NAME-dist
  "$stamp" "$engine" "$work/$1.tmby" "$work/kit/$1.exe" >/dev/null
  printf '%s\r\n' "$(winpath "$work/$1-dist")" >"$work/kit/BUILD.INF"
  (cd "$here" && TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/build-$1.txt" wine_run "$work/kit/$1.exe" -b)
}
build web
rc=$?
check "web build: exit code 0 and no message box" [ "$rc" = 0 -a -z "$(boxes "$work/build-web.txt")" ]
mirror="$work/web-dist/127.0.0.1$http_port"
ls "$mirror/lakeside" >"$work/mirror.txt" 2>&1
check "web build: the mirror folder is named after the host, the port and the directory" \
  [ -f "$mirror/lakeside/filelist.lst" ]
# One archive per container holding files, one per file fetched alone (a date or version rule).
check "web build: the archives of the containers and of the files fetched alone" \
  bash -c "for a in Install1 grpProgram dirTemplates fileLakeNotes fileLakeUtil; do
             [ -s '$mirror/lakeside/'\$a.1 ] || exit 1; done"
check "web build: setup.exe of the distribution" [ -f "$work/web-dist/setup.exe" ]
# The file list counts the files put into archives; 80 bytes each after the count.
count=$(od -An -t d4 -N4 "$mirror/lakeside/filelist.lst" 2>/dev/null | tr -d ' ')
size=$(stat -c %s "$mirror/lakeside/filelist.lst" 2>/dev/null || echo 0)
check "web build: filelist.lst holds a record per file ($count)" \
  [ "${count:-0}" -ge 6 -a "$size" = $((4 + 80 * ${count:-0})) ]

mkdir -p "$work/user"
cp "$work/web-dist/setup.exe" "$work/user/setup.exe"
# A 32-bit program on a 64-bit prefix installs below "Program Files (x86)".
programs="$prefix_dir/prefix/drive_c/Program Files"
[ -d "$programs (x86)" ] && programs="$programs (x86)"
installed="$programs/Lakeside Notes"
# A machine where the product never was: no files, no state of an earlier run.
forget_install() {
  rm -rf "$installed"
  wine_run reg delete 'HKLM\Software\QRN' /f >/dev/null 2>&1
}
same_file() { cmp -s "$1" "$2"; }
# The root offers the full and the compact install and takes the compact one: the templates'
# folder (full only) is neither fetched nor installed.
arrived() {  # arrived: the compact install's files are in place, as they were built
  same_file "$installed/readme.txt" "$here/samples/notes/files/readme.txt" &&
    same_file "$installed/notes.ini" "$here/samples/notes/files/notes.ini" &&
    same_file "$installed/LakeNotes.exe" "$here/build/win32/samples/notes/LakeNotes.exe" &&
    same_file "$installed/LakeUtil.dll" "$here/build/win32/samples/notes/LakeUtil.dll" &&
    [ -s "$installed/uninstall.exe" ] && [ ! -e "$installed/Templates" ] || {
    # The files keep their archive dates: the listing is of the whole folder.
    echo "installed in $installed:"
    find "$installed" -type f 2>/dev/null | sed "s|^$installed/||"
    return 1
  }
}
setup() {  # setup NAME: the user's run, transcript NAME.txt; the exit code is the program's
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/$1.txt" wine_run "$work/user/setup.exe"
}
# good_run NAME RC / bad_run NAME RC: the exit code and the last stage of a run.
good_run() { [ "$2" = 0 ] && grep -qx 'stage -979 good install' <(tr -d '\r' <"$work/$1.txt"); }
bad_run() { [ "$2" != 0 ] && grep -qx 'stage -978 bad install' <(tr -d '\r' <"$work/$1.txt"); }
gets() { grep -c "^GET /lakeside/$2 " "$work/$1" 2>/dev/null; }
# downloads_shown NAME ARCHIVE...: the copy window named each archive while it came, and its file
# bar reached 100 before the next name, climbing in steps when the archive takes more than two of
# the location's 8 KB blocks (a smaller one may show its first block before its name).
# The engine may write its last lines a moment after the loading program has ended: a second look
# a few seconds later.
downloads_shown() { bars_climbed "$@" 2>/dev/null || { sleep 3; bars_climbed "$@"; }; }
bars_climbed() {
  local run=$1 archive steps
  shift
  for archive in "$@"; do
    steps=1
    [ "$(stat -c %s "$mirror/lakeside/$archive" 2>/dev/null || echo 0)" -gt 16384 ] && steps=2
    tr -d '\r' <"$work/$run.txt" | awk -v name="$archive" -v least="$steps" '
      $0 == "control CopyFileForm.lblCopyingFile text \"" name "\"" { on = 1; next }
      on && /^control CopyFileForm\.lblCopyingFile / { exit }
      on && /^control CopyFileForm\.ProgressBar1 position / { steps++; if ($4 == 100) full = 1 }
      END { exit !(full && steps >= least) }' || { echo "no climbing file bar for $archive"; return 1; }
  done
}

# 2. The install from the HTTP server.
forget_install
start_server http http_server.py --folder "$mirror" --port "$http_port"
setup web
rc=$?
check "http install: exit code 0, the good end" good_run web "$rc"
check "http install: the files arrived" arrived
check "http install: the remote list and each archive fetched once, the templates' never" \
  [ "$(gets http.log filelist.lst)" = 1 -a "$(gets http.log grpProgram.1)" = 1 \
    -a "$(gets http.log fileLakeNotes.1)" = 1 -a "$(gets http.log dirTemplates.1)" = 0 ]
check "http install: the copy window showed the downloads' progress" \
  downloads_shown web fileLakeUtil.1 fileLakeNotes.1 Install1.1
stop_server "${pids[-1]}"

# 3. The server dies in the middle of the program's own archive, after the group's and the
# store's archives came whole.
forget_install
start_server dies http_server.py --folder "$mirror" --port "$http_port" --die-in fileLakeNotes.1
setup died
rc=$?
check "server died: a failure, the bad end" bad_run died "$rc"
check "server died: the box names the incomplete archive" grep -qF \
  "| The archive fileLakeNotes.1 that fileLakeNotes downloaded is incomplete or damaged" "$work/died.txt"
died_after_group() {
  [ "$(gets dies.log grpProgram.1)" = 1 ] && grep -q '^died in /lakeside/fileLakeNotes.1' "$work/dies.log"
}
check "server died: it died in that archive, after the group's came whole" died_after_group
state=$(reg_query 'HKLM\Software\QRN\Install' | grep -m1 -E '\\Install[0-9]+$')
record() { wine_run reg query "$state\\$1" /v LocalFile >/dev/null 2>&1; }
records() { [ -n "$state" ] && record grpProgram && ! record fileLakeNotes; }
check "server died: the state key keeps the group's archive, with no record of the cut one" records
check "server died: the program not installed" [ ! -e "$installed/LakeNotes.exe" ]
stop_server "${pids[-1]}"
start_server back http_server.py --folder "$mirror" --port "$http_port"
setup again
rc=$?
check "next start: exit code 0, the good end" good_run again "$rc"
check "next start: the cut archive fetched again, the group's taken from its record" \
  [ "$(gets back.log fileLakeNotes.1)" = 1 -a "$(gets back.log grpProgram.1)" = 0 ]
check "next start: the files arrived" arrived
check "next start: the copy window showed the cut archive's download" \
  downloads_shown again fileLakeNotes.1
stop_server "${pids[-1]}"

# 4. The server stalls in the middle of an archive for a minute; the location waits 3 seconds.
forget_install
start_server stalls http_server.py --folder "$mirror" --port "$http_port" --stall-in grpProgram.1 --stall 60
t0=$(date +%s)
setup stalled
rc=$?
waited=$(($(date +%s) - t0))
check "server stalled: a failure, the bad end" bad_run stalled "$rc"
check "server stalled: the run ended ${waited}s after its start, long before the server woke" \
  [ "$waited" -lt 40 ]
check "server stalled: the location's failure" \
  grep -qF "| Could not read from file grpProgram.1 on the server. Error message " "$work/stalled.txt"
check "server stalled: nothing of the product's group installed" [ ! -e "$installed/readme.txt" ]
stop_server "${pids[-1]}"

# 5. The program changes; the distribution is built again where the first build wrote it. Its
# own archive (a file fetched alone) holds the new program only, and that is what arrives.
printf 'version two' >>"$work/src/LakeNotes.exe"
build web
rc=$?
check "rebuild: exit code 0 and no message box" [ "$rc" = 0 -a -z "$(boxes "$work/build-web.txt")" ]
forget_install
start_server rebuilt http_server.py --folder "$mirror" --port "$http_port"
setup rebuilt
rc=$?
check "rebuilt install: exit code 0, the good end" good_run rebuilt "$rc"
check "rebuilt install: the new program arrived" \
  same_file "$installed/LakeNotes.exe" "$work/src/LakeNotes.exe"
stop_server "${pids[-1]}"

# 6. FTP with a named login.
build ftp
rc=$?
check "ftp build: exit code 0" [ "$rc" = 0 ]
cp "$work/ftp-dist/setup.exe" "$work/user/setup.exe"
forget_install
start_server ftp ftp_server.py --folder "$work/ftp-dist/127.0.0.1$ftp_port" --port "$ftp_port" --password other
setup ftpwrong
rc=$?
check "ftp wrong password: a failure, the bad end" bad_run ftpwrong "$rc"
check "ftp wrong password: the location's message" grep -qE \
  "^\| Cannot connect to host 127\.0\.0\.1:$ftp_port\. Error message ERROR_INTERNET_LOGIN_FAILURE\. Server 127\.0\.0\.1:$ftp_port\. Response from server " \
  <(tr -d '\r' <"$work/ftpwrong.txt")
stop_server "${pids[-1]}"
forget_install
start_server ftpok ftp_server.py --folder "$work/ftp-dist/127.0.0.1$ftp_port" --port "$ftp_port"
setup ftp
rc=$?
check "ftp install: exit code 0, the good end" good_run ftp "$rc"
check "ftp install: the files arrived" arrived

started=("${pids[@]}")
stop_servers
"$here/scripts/wine.sh" "${prefix[@]}" --stop
rm -rf "$installed"
none_left() { for pid in "${started[@]}"; do ! kill -0 "$pid" 2>/dev/null || return 1; done; }
check "servers ended" none_left
echo "net install: $(($(date +%s) - started_at)) s"
exit $fail
