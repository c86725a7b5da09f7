#!/usr/bin/env bash
# The archive benchmark: builds the native Release flavour and runs bench/archive_bench, which
# generates a corpus of about 210 MB (kept between runs), compares the archive component with zlib
# used directly and with gzip/gunzip, and checks the peak memory. Exit status 0 when the targets
# are met.
#   BENCH_BUILD   build directory (default build/bench)
#   BENCH_CORPUS  corpus directory (default <build>/bench-corpus)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build/bench}"
corpus="${BENCH_CORPUS:-$build/bench-corpus}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTMBY_TESTS=OFF \
  -DTMBY_BENCH_CORPUS="$corpus" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target archive_bench
"$build/bench/archive_bench" "$corpus" "$build/bench-work"
