#!/usr/bin/env bash
# Configures (once) and builds one flavour into build/<flavour>.
#   native  g++, the portable core, native programs and the unit tests
#   asan    the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   win32   i686 mingw-w64, static, the shipping flavour (programs and Windows tests)
#   win64   x86_64 mingw-w64, kept building and smoke-tested
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:?flavour: native asan win32 win64}
jobs=${JOBS:-2}
dir="$here/build/$flavour"
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
case "$flavour" in
  native) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) opts=(-DCMAKE_BUILD_TYPE=Debug -DTMBY_SANITIZE=ON) ;;
  win32) opts=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake") ;;
  win64) opts=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake"
         -DTMBY_WIN_UNIT_TESTS=OFF) ;;
  *) echo "build.sh: unknown flavour $flavour" >&2; exit 2 ;;
esac
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$dir" "${gen[@]}" "${opts[@]}" >"$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log" >&2
    echo "build.sh: configuring $flavour failed" >&2
    exit 1
  }
fi
echo "== building $flavour"
cmake --build "$dir" -j "$jobs" 2>&1 | grep -vE '^\[[0-9]+/[0-9]+\] |^\[ *[0-9]+%\]' || true
test "${PIPESTATUS[0]}" = 0
