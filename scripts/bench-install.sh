#!/usr/bin/env bash
# The distribution benchmark, under Wine: a generated product of 2,000 files and 100 MiB (text,
# program-like data and bytes that do not compress; bench/make_product.py) is
#   1. built into its distribution by its own setup program (-b), and packed by the peer installer,
#      Debian's NSIS (makensis, zlib compression; installed here, not by the tests' setup);
#   2. installed windowless on winxp and on win98: ours through the distribution's setup.exe with the
#      scripted UI, the peer's silently (/S); every file must arrive byte for byte.
# It prints the ratios ours / peer for the build and for each install, and the peak memory (peak
# working set and peak private bytes) of our processes and of the peer's, measured by bench/peakmem
# (GetProcessMemoryInfo on every process of the run's tree, sampled until it ends) in runs of
# their own: the timed runs sample nothing (peakmem --time). Exit status 0
# when the goals hold: build and install ratios at most 1, and the engine's peak working set under
# 16 MiB above the same engine's at rest (its --help), which is what Wine itself takes.
#   BENCH_DIR    where the product, the distributions and the Wine prefix go (default build/bench-install)
#   BENCH_FILES  number of files (2000), BENCH_MB their size in MiB together (100)
#   BENCH_ROUNDS rounds (5): each time is the best of its rounds, ours and the peer's taken in turn,
#                as a single run here moves by a tenth with whatever else the machine does
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="${BENCH_DIR:-$here/build/bench-install}"
files=${BENCH_FILES:-2000}
megabytes=${BENCH_MB:-100}
rounds=${BENCH_ROUNDS:-5}
export LANG=C LC_ALL=C

# The peer installer: the benchmark's own setup step.
if ! command -v makensis >/dev/null; then
  echo "bench-install: installing the peer installer (Debian's nsis)"
  sudo=""
  [ "$(id -u)" != 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q nsis >/tmp/tmby-nsis-install.log 2>&1 || {
    echo "bench-install: 'apt-get install nsis' failed (log: /tmp/tmby-nsis-install.log)" >&2
    exit 1
  }
fi
"$here/scripts/build.sh" win32 >/dev/null || exit 1
engine="$here/build/win32/apps/setup/setup-test.exe"
loader="$here/build/win32/apps/loader/TamberlyLoadProgram-test.exe"
stamp="$here/build/win32/apps/tmbystamp/tmbystamp.exe"
peakmem="$here/build/win32/bench/peakmem.exe"
for f in "$engine" "$loader" "$stamp" "$peakmem"; do
  [ -f "$f" ] || { echo "bench-install: $f was not built" >&2; exit 1; }
done

product="$dir/product"
mkdir -p "$product"
echo "== generating the product: $files files, $megabytes MiB ($product)"
python3 "$here/bench/make_product.py" "$product" "$files" "$megabytes" || exit 1
prefix=(--prefix "$dir/wineprefix")
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version "$1" --timeout 1800 "${@:2}"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
drive_c="$dir/wineprefix/prefix/drive_c"
status=0
fail() { echo "FAILED: $*"; status=1; }
# measure NAME VERSION COMMAND...: runs COMMAND under peakmem; the report goes to $dir/NAME.mem.
# PEAKMEM=--time only times it.
measure() {
  local name=$1 version=$2
  shift 2
  wine_run "$version" "$peakmem" ${PEAKMEM:+"$PEAKMEM"} "$(winpath "$dir/$name.mem")" "$@"
}
# measure_round NAME ROUND VERSION COMMAND...: one round of NAME, its report $dir/NAME.ROUND.mem.
# What the last step wrote reaches the disk first, not while this one is timed.
measure_round() {
  local name=$1 round=$2
  shift 2
  sync
  measure "$name.$round" "$@"
}
# The best (shortest) time of NAME's rounds, ms.
elapsed() {
  cat "$dir/$1".*.mem | tr -d '\r' |
    awk '$1 == "elapsed" && (best == "" || $2 < best) { best = $2 } END { print best }'
}
# The largest peaks of the processes whose image name matches, over NAME's rounds: working set,
# private bytes (KiB).
peaks() {
  cat "$dir/$1".*.mem | tr -d '\r' |
    awk -v re="$2" '$1 ~ re { if ($3 > w) w = $3; if ($4 > p) p = $4 } END { printf "%d %d", w / 1024, p / 1024 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
goal=1

# 1. The builds.
kit="$dir/kit"
rm -rf "$kit" "$dir/dist" "$dir/peer" "$dir"/*.mem
mkdir -p "$kit" "$dir/peer"
wine_run winxp "$stamp" "$engine" "$(winpath "$product/product.tmby")" "$(winpath "$kit/BenchSetup.exe")" >/dev/null ||
  { fail "stamping the product"; exit 1; }
cp "$loader" "$kit/TamberlyLoadProgram.exe"
wine_run winxp reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1
printf '%s\r\n' "$(winpath "$dir/dist")" >"$kit/BUILD.INF"
echo "== building: ours (BenchSetup.exe -b, under Wine) and the peer's (makensis, native)"
# Both builds are timed alike, from start to end. The build deflates on both processors, where the
# memory sampler would take its share of them: its memory is measured in a run of its own.
ours_build=""
peer_build=""
best() { [ -z "$1" ] || [ "$2" -lt "$1" ] && echo "$2" || echo "$1"; }
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
for round in $(seq "$rounds"); do
  rm -rf "$dir/dist"
  sync
  start=$(date +%s%N)
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$dir/build.txt" wine_run winxp "$(winpath "$kit/BenchSetup.exe")" -b
  rc=$?
  ours_build=$(best "$ours_build" "$(ms_since "$start")")
  [ "$rc" = 0 ] && [ -f "$dir/dist/setup.exe" ] || fail "our build (exit code $rc; $dir/build.txt)"
  sync
  start=$(date +%s%N)
  (cd "$product" && makensis -V1 -NOCD peer.nsi >"$dir/peer-build.log" 2>&1 && mv peer-setup.exe "$dir/peer/") ||
    fail "the peer's build ($dir/peer-build.log)"
  peer_build=$(best "$peer_build" "$(ms_since "$start")")
done
rm -rf "$dir/dist"
TMBY_UI=script TMBY_UI_TRANSCRIPT="$dir/build.txt" \
  measure_round build 1 winxp "$(winpath "$kit/BenchSetup.exe")" -b >/dev/null ||
  fail "our build, its memory measured ($dir/build.txt)"
# The same engine at rest: what Wine and the program's image take before any work. The process
# lives a quarter of a second: the largest of three runs.
for round in 1 2 3; do
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$dir/rest.txt" \
    measure_round rest "$round" winxp "$(winpath "$kit/BenchSetup.exe")" --help >/dev/null 2>&1
done
rest=$(peaks rest 'BenchSetup')
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
printf '   ours: %6d ms  setup.exe %d bytes\n' "$ours_build" "$(size "$dir/dist/setup.exe")"
printf '   peer: %6d ms  peer-setup.exe %d bytes\n' "$peer_build" "$(size "$dir/peer/peer-setup.exe")"
build_ratio=$(ratio "$ours_build" "$peer_build")

# 2. The installs.
mkdir -p "$dir/user"
cp "$dir/dist/setup.exe" "$dir/user/setup.exe" 2>/dev/null
declare -A install_ratio
old="$dir/installed"  # the installs of the rounds before, deleted at the end
rm -rf "$old"
mkdir -p "$old"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Bench Product'
# The folder of a product below Program Files (on 64-bit Windows, the 32-bit one).
installed() { find "$drive_c" -mindepth 2 -maxdepth 2 -type d -name "$1" | head -n 1; }
arrived() {  # arrived NAME: every file of the product there, byte for byte, and nothing else
  local folder
  folder=$(installed "$1")
  [ -n "$folder" ] && diff -r -q "$product/src" "$folder" >"$dir/diff.txt" 2>&1
}
# install WHO ROUND VERSION: one install, ours or the peer's (WHO "ours" or "peer"), only timed,
# into the report WHO-VERSION.ROUND.mem; with ROUND "mem" its memory sampled, into WHO-VERSION-mem.1.mem.
install() {
  local who=$1 round=$2 version=$3 report="$1-$3" timed=--time
  [ "$round" = mem ] && report="$who-$version-mem" && round=1 && timed=""
  "$here/scripts/wine.sh" "${prefix[@]}" --stop
  if [ "$who" = ours ]; then
    TMBY_UI=script TMBY_UI_TRANSCRIPT="$dir/install-$version.txt" PEAKMEM=$timed \
      measure_round "$report" "$round" "$version" "$(winpath "$dir/user/setup.exe")"
    rc=$?
    [ "$rc" = 0 ] || fail "our install on $version (exit code $rc; $dir/install-$version.txt)"
    arrived "Bench Product" || fail "our install on $version: the files differ ($dir/diff.txt)"
  else
    PEAKMEM=$timed \
      measure_round "$report" "$round" "$version" "$(winpath "$dir/peer/peer-setup.exe")" /S ||
      fail "the peer's install on $version"
    arrived "Bench Peer" || fail "the peer's install on $version: the files differ ($dir/diff.txt)"
  fi
}
for version in winxp win98; do
  echo "== installing on $version: ours (setup.exe, scripted UI) and the peer's (/S)"
  # The timed rounds, then one more of each whose memory is sampled.
  for round in $(seq "$rounds") mem; do
    # Every round is a first install: the last round's files are moved out of the way, and its
    # uninstall log goes (a later install appends to the log, which would grow by 2,000 values a
    # round). The files are deleted only at the end: a file system that has just deleted thousands
    # of files passes over them while it allocates the next ones, and whichever install came next
    # paid for the benchmark's own clean-up, up to twice its time.
    for name in "Bench Product" "Bench Peer"; do
      folder=$(installed "$name")
      [ -n "$folder" ] && mv "$folder" "$old/$version-$round-${name// /-}"
    done
    wine_run "$version" reg delete "$uninstall_key" /f /reg:32 >/dev/null 2>&1
    # Taken in turn: each goes first in every other round.
    if [ "$round" = mem ] || [ $((round % 2)) = 1 ]; then
      install ours "$round" "$version"
      install peer "$round" "$version"
    else
      install peer "$round" "$version"
      install ours "$round" "$version"
    fi
  done
  ours=$(elapsed "ours-$version")
  peer=$(elapsed "peer-$version")
  install_ratio[$version]=$(ratio "$ours" "$peer")
  printf '   ours: %6d ms   peer: %6d ms\n' "$ours" "$peer"
done
"$here/scripts/wine.sh" "${prefix[@]}" --stop
rm -rf "$old"

# 3. Memory: peak working set and peak private bytes, KiB.
echo "== peak memory (KiB: working set, private bytes)"
report_peaks() {  # report_peaks LABEL REPORT PATTERN
  read -r w p <<<"$(peaks "$2" "$3")"
  printf '   %-34s %7d %7d\n' "$1" "$w" "$p"
}
report_peaks "our engine at rest (--help)" rest 'BenchSetup'
report_peaks "our engine, build" build 'BenchSetup'
for version in winxp win98; do
  report_peaks "our loader, install $version" "ours-$version-mem" '^setup\.exe'
  report_peaks "our engine, install $version" "ours-$version-mem" 'BenchSetup'
  report_peaks "peer installer, install $version" "peer-$version-mem" 'peer-setup'
done

echo "== ratios (ours / peer; the goal is at most 1.00)"
echo "   build:           $build_ratio"
for version in winxp win98; do echo "   install $version:  ${install_ratio[$version]}"; done
over_rest() {  # the engine's largest peak working set above its rest, KiB
  local most=0 w
  for r in build ours-winxp-mem ours-win98-mem; do
    read -r w _ <<<"$(peaks "$r" 'BenchSetup')"
    [ "$w" -gt "$most" ] && most=$w
  done
  echo $((most - ${rest%% *}))
}
above=$(over_rest)
echo "   engine's peak working set above its rest: $above KiB (the goal: under 16384)"
for r in "$build_ratio" "${install_ratio[winxp]}" "${install_ratio[win98]}"; do
  awk -v r="$r" 'BEGIN { exit !(r != "n/a" && r <= 1.0) }' || goal=0
done
[ "$above" -lt 16384 ] || goal=0
[ $goal = 1 ] || echo "bench-install: a goal is missed"
[ $status = 0 ] && [ $goal = 1 ]
