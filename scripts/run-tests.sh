#!/usr/bin/env bash
# Builds every flavour and runs every test: the native unit and contract tests (also under the
# sanitizers), the Windows tests under Wine (32-bit in a 32-bit prefix as winxp, win98, win95, winme,
# win7 and win10; 64-bit and 32-bit on 64-bit Windows as winxp) and the end-to-end scripts in
# tests/e2e/. Ends with one line: "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
logs="$here/build/test-logs"
mkdir -p "$logs"
start=$(date +%s)
passed=0
failed=0
failures=()

# Counts one GoogleTest run from its log; a run that ends without its summary counts as one failure.
count_gtest() {
  local name=$1 log=$2 rc=$3
  local p f
  p=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | tail -n1 | sed -E 's/.* ([0-9]+) test.*/\1/')
  f=$(grep -E '^\[  FAILED  \] [0-9]+ test' "$log" | tail -n1 | sed -E 's/.* ([0-9]+) test.*/\1/')
  p=${p:-0}
  f=${f:-0}
  if [ "$rc" != 0 ] && [ "$f" = 0 ]; then
    f=1
    failures+=("$name: ended with code $rc before its summary (log: $log)")
  elif [ "$f" != 0 ]; then
    failures+=("$name: $f failed (log: $log)")
    while read -r line; do failures+=("    $line"); done < <(grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | head -n 20)
  fi
  passed=$((passed + p))
  failed=$((failed + f))
  echo "   $name: $p passed, $f failed"
}

# Two chains of builds side by side, two jobs each: while one links or configures, the other's
# compiles keep both cores busy. The fuzzers' flavour is built later, beside the end-to-end scripts.
build_flavour() {  # build_flavour FLAVOUR: its exit code goes to build-FLAVOUR.rc
  scripts/build.sh "$1" >"$logs/build-$1.log" 2>&1
  echo $? >"$logs/build-$1.rc"
}
rm -f "$logs"/build-*.rc
(build_flavour native; build_flavour asan) &
(build_flavour win32; build_flavour win64) &
wait
for flavour in native asan win32 win64; do
  if [ "$(cat "$logs/build-$flavour.rc" 2>/dev/null)" != 0 ]; then
    tail -n 40 "$logs/build-$flavour.log"
    echo "run-tests: building $flavour failed (log: $logs/build-$flavour.log)"
    failures+=("build $flavour failed")
    failed=$((failed + 1))
  else
    echo "== built $flavour"
  fi
done

# A test binary that the build should have made and did not is a failure, not a skip.
missing() {
  failures+=("$1: $2 is missing (was it built?)")
  failed=$((failed + 1))
  echo "   $1: MISSING $2"
}

echo "== native tests"
if [ -x build/native/tests/tmby_tests ]; then
  (cd build/native/tests && ./tmby_tests) >"$logs/native.log" 2>&1
  count_gtest native "$logs/native.log" $?
else
  missing native build/native/tests/tmby_tests
fi
if [ -x build/asan/tests/tmby_tests ]; then
  (cd build/asan/tests && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ./tmby_tests) \
    >"$logs/asan.log" 2>&1
  count_gtest asan "$logs/asan.log" $?
else
  missing asan build/asan/tests/tmby_tests
fi

echo "== Windows tests under Wine"
# Two lanes side by side, each in its own prefix (the reported version is the prefix's):
# - 32-bit Windows, as the kit's systems were (a 32-bit prefix, no WoW64 folders): the whole
#   binary as XP and 98; as 95, ME, 7 and 10 a short run: the port's contract against the Windows
#   adapter and one install of a product with every kind of file. On the 9x systems the adapter's
#   ANSI path is forced with TMBY_WIN32_API=ansi (as it would choose it there); on the others the
#   contract runs through the wide and the ANSI path.
# - 64-bit Windows: the 64-bit build, and the 32-bit build's short run plus its folder tests as a
#   32-bit setup meets them there (registry views, "Program Files (x86)").
short_run='Adapters/*Contract.*/win32*:FileInstallWin32.AProductOfEveryKindOfFileInstallsWithItsRegistryValues'
# Since Vista the shell folders and the run-once entries moved: their tests join the short run there.
new_nt_run="$short_run:PathSpecifiersWin32.*:SystemWin32Test.AddRunOnce*"
wine_runs=()
# wine_run NAME FLAVOUR ARCH VERSION [FILTER]: one run of the Windows test binary; counted later.
wine_run() {
  local name=$1 flavour=$2 arch=$3 version=$4 filter=${5:-}
  rm -f "$logs/$name.rc"
  local args=()
  [ -n "$filter" ] && args=("--gtest_filter=$filter")
  (cd "build/$flavour/tests" &&
    "$here/scripts/wine.sh" --arch "$arch" --version "$version" --timeout 900 \
      ./tmby_wintests.exe "${args[@]}") >"$logs/$name.log" 2>&1
  echo $? >"$logs/$name.rc"
}
lane32() {
  wine_run win32-winxp win32 win32 winxp
  TMBY_WIN32_API=ansi wine_run win32-win98 win32 win32 win98
  TMBY_WIN32_API=ansi wine_run win32-win95 win32 win32 win95 "$short_run"
  TMBY_WIN32_API=ansi wine_run win32-winme win32 win32 winme "$short_run"
  wine_run win32-win7 win32 win32 win7 "$new_nt_run"
  wine_run win32-win10 win32 win32 win10 "$new_nt_run"
}
lane64() {
  wine_run win64-winxp win64 win64 winxp
  wine_run win32-on-win64-winxp win32 win64 winxp "$new_nt_run"
}
lanes=()
if [ -f build/win32/tests/tmby_wintests.exe ]; then
  wine_runs+=(win32-winxp win32-win98 win32-win95 win32-winme win32-win7 win32-win10)
  lane32 &
  lanes+=($!)
else
  missing win32 build/win32/tests/tmby_wintests.exe
fi
if [ -f build/win64/tests/tmby_wintests.exe ]; then
  wine_runs+=(win64-winxp)
  [ -f build/win32/tests/tmby_wintests.exe ] && wine_runs+=(win32-on-win64-winxp)
  sleep 2  # the lanes start their displays one after the other
  if [ -f build/win32/tests/tmby_wintests.exe ]; then
    lane64 &
  else
    wine_run win64-winxp win64 win64 winxp &
  fi
  lanes+=($!)
else
  missing win64 build/win64/tests/tmby_wintests.exe
fi
[ ${#lanes[@]} -gt 0 ] && wait "${lanes[@]}"
for run in "${wine_runs[@]}"; do
  count_gtest "$run" "$logs/$run.log" "$(cat "$logs/$run.rc" 2>/dev/null || echo 1)"
done

# The fuzzers are built and run beside the end-to-end scripts, which mostly wait for Wine.
fuzz_names=()
for f in tests/fuzz/*_fuzz.cpp; do fuzz_names+=("$(basename "$f" .cpp)"); done
rm -f "$logs"/*_fuzz.rc
(build_flavour fuzz
 [ "$(cat "$logs/build-fuzz.rc")" = 0 ] || exit 0
 for name in "${fuzz_names[@]}"; do
   scripts/fuzz.sh --seconds "${FUZZ_SECONDS:-12}" "$name" >"$logs/$name.log" 2>&1
   echo $? >"$logs/$name.rc"
 done) &
fuzzing=$!

if ! compgen -G "tests/e2e/*.sh" >/dev/null; then
  missing e2e "tests/e2e/*.sh"
else
  echo "== end-to-end tests"
  for t in tests/e2e/*.sh; do
    name=$(basename "$t" .sh)
    if timeout 900 bash "$t" >"$logs/e2e-$name.log" 2>&1; then
      passed=$((passed + 1))
      echo "   e2e $name: passed"
    else
      failed=$((failed + 1))
      failures+=("e2e $name failed (log: $logs/e2e-$name.log)")
      echo "   e2e $name: FAILED"
    fi
  done
fi

# Each fuzzer for a few seconds (FUZZ_SECONDS), from its corpus in tests/fuzz/corpus/.
echo "== fuzzers"
wait "$fuzzing"
if [ "$(cat "$logs/build-fuzz.rc" 2>/dev/null)" != 0 ]; then
  missing fuzz "the fuzzers (build log: $logs/build-fuzz.log)"
else
  for name in "${fuzz_names[@]}"; do
    if [ "$(cat "$logs/$name.rc" 2>/dev/null)" = 0 ]; then
      passed=$((passed + 1))
      echo "   $(tail -n1 "$logs/$name.log")"
    else
      failed=$((failed + 1))
      failures+=("$name found a fault (log: $logs/$name.log)")
      echo "   $name: FAILED"
    fi
  done
fi

scripts/wine.sh --stop >/dev/null 2>&1
scripts/wine.sh --stop --arch win32 >/dev/null 2>&1
echo "== took $(( $(date +%s) - start )) s"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'failures:\n'
  printf '  %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
