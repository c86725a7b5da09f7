#!/usr/bin/env bash
# Net installs against real servers on loopback, under Wine (32-bit, winxp):
#  1. starts the HTTP server and the FTP server of tests/servers/ on free ports, serving one folder;
#  2. runs the internet contract and the net location tests of the Windows test program against
#     them through the real Windows Internet library;
#  3. runs the missing-library test with Wine's wininet switched off;
#  4. ends both servers by their process ids.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
tests_exe="${TMBY_WINTESTS_EXE:-$here/build/win32/tests/tmby_wintests.exe}"
source "$here/tests/support/e2e.sh"
e2e_start net_loopback
mkdir -p "$work/www"
require "$tests_exe"

source "$here/tests/servers/loopback.sh"
trap stop_servers EXIT
start_server http http_server.py --folder "$work/www" --port 0 --stall 60
start_server ftp ftp_server.py --folder "$work/www" --port 0

export TMBY_TEST_NET_HOST=127.0.0.1
export TMBY_TEST_HTTP_PORT=$(cat "$work/http.port")
export TMBY_TEST_FTP_PORT=$(cat "$work/ftp.port")
export TMBY_TEST_NET_FOLDER=$(winpath "$work/www")
export TMBY_TEST_HTTP_LOG=$(winpath "$work/http.log")
export TMBY_TEST_FTP_USER=tamberly
export TMBY_TEST_FTP_PASSWORD=lakeside
echo "servers: http 127.0.0.1:$TMBY_TEST_HTTP_PORT, ftp 127.0.0.1:$TMBY_TEST_FTP_PORT"

# Counts a GoogleTest run: it must have run tests and failed none.
passed_all() {  # passed_all LOG MINIMUM
  local p
  p=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$1" | sed -E 's/.* ([0-9]+) test.*/\1/')
  [ -n "$p" ] && [ "$p" -ge "$2" ] && ! grep -q '^\[  FAILED  \]' "$1"
}

tests_dir=$(dirname "$tests_exe")
(cd "$tests_dir" && "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 300 \
  ./tmby_wintests.exe '--gtest_filter=*InternetContract*win32:*NetLoopbackTest*') \
  >"$work/loopback.txt" 2>&1
grep -E '^\[ +(OK|FAILED) +\]|^\[  PASSED' "$work/loopback.txt"
check "internet contract and net locations against the loopback servers" \
  passed_all "$work/loopback.txt" 18

(cd "$tests_dir" && TMBY_TEST_NO_WININET=1 TMBY_WINEDLLOVERRIDES="wininet=d" \
  "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 \
  ./tmby_wintests.exe '--gtest_filter=*NetLibraryMissingTest*') >"$work/nowininet.txt" 2>&1
grep -E '^\[ +(OK|FAILED) +\]' "$work/nowininet.txt"
check "without wininet.dll the location names the missing library" passed_all "$work/nowininet.txt" 1

started=("${pids[@]}")
stop_servers
none_left() { for pid in "${started[@]}"; do ! kill -0 "$pid" 2>/dev/null || return 1; done; }
check "servers ended" none_left
exit $fail
