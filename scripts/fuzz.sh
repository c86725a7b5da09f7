#!/usr/bin/env bash
# Runs the fuzzers (tests/fuzz/<name>_fuzz.cpp, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) for a bounded time each, starting from their corpora in
# tests/fuzz/corpus/<name>_fuzz/. `make test` runs every fuzzer briefly; a longer run is the same
# command with more seconds.
#
#   scripts/fuzz.sh [--seconds N] [--build] [NAME_fuzz...]   (default: every fuzzer, 12 s each)
#
# --build builds the `fuzz` flavour first (scripts/build.sh fuzz). New inputs that reach new code
# go to build/fuzz-work/<name>/corpus; merge the interesting ones into the repository's corpus
# with `<fuzzer> -merge=1 tests/fuzz/corpus/<name> build/fuzz-work/<name>/corpus`. A finding
# (crash, leak, undefined behaviour, timeout) is written to build/fuzz-work/<name>/ and makes the
# run fail.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=12
build=0
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --build) build=1; shift ;;
    *) names+=("$1"); shift ;;
  esac
done
if [ ${#names[@]} = 0 ]; then
  for f in "$here"/tests/fuzz/*_fuzz.cpp; do names+=("$(basename "$f" .cpp)"); done
fi
if [ "$build" = 1 ]; then
  "$here/scripts/build.sh" fuzz || exit 1
fi

failed=0
for name in "${names[@]}"; do
  program="$here/build/fuzz/tests/fuzz/$name"
  corpus="$here/tests/fuzz/corpus/$name"
  work="$here/build/fuzz-work/$name"
  if [ ! -x "$program" ]; then
    echo "fuzz: $program is missing (scripts/build.sh fuzz builds it)" >&2
    failed=1
    continue
  fi
  mkdir -p "$work/corpus"
  extra=()
  [ -f "$here/tests/fuzz/${name%_fuzz}.dict" ] && extra+=(-dict="$here/tests/fuzz/${name%_fuzz}.dict")
  # Findings are written where -artifact_prefix points; the repository's corpus is only read.
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$program" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=1024 -max_len=65536 -artifact_prefix="$work/" \
      -print_final_stats=1 "${extra[@]}" "$work/corpus" "$corpus") >"$work/log" 2>&1; then
    echo "fuzz $name: no findings in ${seconds}s ($(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$work/log" | grep -oE '[0-9]+$') runs)"
  else
    failed=1
    echo "fuzz $name: FINDING (log: $work/log)"
    grep -E '^==[0-9]+==ERROR|SUMMARY|Test unit written|runtime error' "$work/log" | head -n 10
  fi
done
exit $failed
