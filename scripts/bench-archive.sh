#!/usr/bin/env bash
# The benchmarks: builds the native Release flavour and runs bench/archive_bench, which generates
# a corpus of about 210 MB and one of 2,000 small files (kept between runs), compares the archive
# component and the archive tool with zlib used directly and with gzip/gunzip, and checks the peak
# memory; then bench/definition_bench, which reads definitions of 1,000 and 10,000 objects. Exit
# status 0 when the targets are met.
#   BENCH_BUILD   build directory (default build/bench)
#   BENCH_CORPUS  corpus directory (default <build>/bench-corpus)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build/bench}"
corpus="${BENCH_CORPUS:-$build/bench-corpus}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTMBY_TESTS=OFF \
  -DTMBY_BENCH_CORPUS="$corpus" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target archive_bench definition_bench
status=0
"$build/bench/archive_bench" "$corpus" "$build/bench-work" || status=1
"$build/bench/definition_bench" "$build/bench-work" || status=1
exit $status
