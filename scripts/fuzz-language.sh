#!/usr/bin/env bash
# Fuzzes the language file format and the translator's use of it with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (clang from Debian). The seeds are the kit's own
# language files.
#   FUZZ_SECONDS  run time (default 300)
#   FUZZ_DIR      work directory (default build/fuzz-language)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${FUZZ_DIR:-$root/build/fuzz-language}"
seconds="${FUZZ_SECONDS:-300}"
mkdir -p "$dir/seeds" "$dir/corpus"

sources=("$root"/src/translate/*.cpp "$root"/src/base/*.cpp "$root"/src/platform/*.cpp
  "$root"/src/ui/*.cpp "$root"/src/platform/script/*.cpp)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -I"$root/src" -I"$root/tests")
if [ ! -x "$dir/language_fuzz" ] || [ -n "${FUZZ_REBUILD:-}" ]; then
  clang++ "${flags[@]}" "$root/tests/fuzz/language_fuzz.cpp" "${sources[@]}" -lz \
    -o "$dir/language_fuzz"
fi
cp "$root"/lang/*.txt "$dir/seeds/"
printf '5;Next >\n\n* c\n#12\nFirst\n#\n7;Yes;No\n' >"$dir/seeds/small.txt"

cat >"$dir/language.dict" <<'DICT'
";"
"#"
"*"
"%s"
"%d"
"%%"
"%a"
"\x0d\x0a"
"\x0a"
"$1F"
"0x20"
"-7"
"2147483648"
"\xef\xbb\xbf"
"\xc3\xa9"
"\xe6\x97\xa5"
DICT

echo "== language_fuzz for ${seconds}s"
(cd "$dir" && ./language_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 \
  -timeout=10 -dict=language.dict -print_final_stats=1 corpus seeds 2>&1 | tail -25)
