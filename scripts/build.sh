#!/usr/bin/env bash
# Configures and builds one flavour into build/<flavour>; exits non-zero when either fails.
#   native  g++, the portable core, native programs and the unit tests
#   asan    the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   win32   i686 mingw-w64, static, the shipping flavour (programs and Windows tests)
#   win64   x86_64 mingw-w64, kept building and smoke-tested
#   fuzz    clang, the fuzzers of tests/fuzz (scripts/fuzz.sh runs them)
# The flavour is configured again when it never configured completely, when its options changed,
# or when its cache belongs to another checkout.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:?flavour: native asan win32 win64 fuzz}
jobs=${JOBS:-2}
mkdir -p "$here/build"
dir="$here/build/$flavour"
gen=()
targets=()
command -v ninja >/dev/null && gen=(-G Ninja)
case "$flavour" in
  native) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) opts=(-DCMAKE_BUILD_TYPE=Debug -DTMBY_SANITIZE=ON) ;;
  win32) opts=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake") ;;
  win64) opts=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake"
         -DTMBY_WIN_UNIT_TESTS=OFF) ;;
  # clang with libFuzzer and the sanitizers; only the fuzzers and the floors they reach.
  fuzz) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
        -DTMBY_FUZZ=ON -DTMBY_TESTS=OFF)
        targets=(--target fuzzers) ;;
  *) echo "build.sh: unknown flavour $flavour" >&2; exit 2 ;;
esac
# Sources of other checkouts of this project share the compiler cache.
export CCACHE_BASEDIR="$here"

stamp="$dir/tmby-configure.stamp"
wanted=$(printf '%s\n' "$here" "${gen[@]}" "${opts[@]}")
if [ ! -f "$dir/CMakeCache.txt" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ] ||
   ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$here" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
  mkdir -p "$dir"
  if ! cmake -S "$here" -B "$dir" "${gen[@]}" "${opts[@]}" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log" >&2
    echo "build.sh: configuring $flavour failed (log: $dir.configure.log)" >&2
    exit 1
  fi
  printf '%s\n' "$wanted" >"$stamp"
fi
echo "== building $flavour"
set +e
cmake --build "$dir" -j "$jobs" "${targets[@]}" 2>&1 | grep -vE '^\[[0-9]+/[0-9]+\] |^\[ *[0-9]+%\]'
status=${PIPESTATUS[0]}
set -e
if [ "$status" != 0 ]; then
  echo "build.sh: building $flavour failed" >&2
  exit 1
fi
