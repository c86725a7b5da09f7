#!/usr/bin/env bash
# Fuzzes the portable reader of version resources with libFuzzer (clang, with the address and
# undefined-behaviour sanitizers). The seed corpus: small PE and NE images with version blocks,
# written by the native tests' image builder, plus whatever Windows files the caller names.
#
#   scripts/fuzz-pe-version.sh [SECONDS] [EXTRA_SEED_FILES...]   (default 300 seconds)
#
# Work files go to build/fuzz-pe-version/ (the corpus, crash files and the log).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
shift || true
out="${FUZZ_OUT:-$here/build/fuzz-pe-version}"
mkdir -p "$out/corpus" "$out/crashes"

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -I"$here/src" -I"$here/tests")
sources=("$here/src/system/pe_version_reader.cpp" "$here/src/system/version_block.cpp"
         "$here/src/system/version_resource.cpp" "$here/src/system/version_compare.cpp"
         "$here/src/base/component.cpp" "$here/src/base/dostime.cpp"
         "$here/src/base/text_codec.cpp" "$here/src/base/exceptions.cpp" "$here/src/platform/port.cpp")
clang++ "${flags[@]}" "$here/tests/fuzz/pe_version_fuzz.cpp" "${sources[@]}" -o "$out/pe_version_fuzz"

# Seeds: images from the test builder.
cat >"$out/seeds.cpp" <<'CPP'
#include <fstream>
#include <string>
#include "support/pe_builder.h"
using namespace tmby::testing;
int main(int, char** argv) {
  VersionSpec layout;
  layout.tables = {{"040904E4", {{"CompanyName", "Lakeside"}, {"ProductVersion", "2.0"}}},
                 {"040704B0", {{"CompanyName", "Seeufer"}}}};
  layout.translations = {0x040904E4, 0x040704B0};
  PeOptions plus;
  plus.pe32_plus = true;
  plus.languages = {{0x0407, BuildVersionBlock(layout)}, {0x0409, BuildVersionBlock(layout)}};
  const std::vector<std::vector<uint8_t>> seeds = {
      BuildPe(BuildVersionBlock(layout)), BuildPe(plus), BuildNe(BuildVersionBlock(layout, true)),
      BuildVersionBlock(layout), BuildVersionBlock(layout, true)};
  for (size_t i = 0; i < seeds.size(); ++i) {
    std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(i), std::ios::binary)
        .write(reinterpret_cast<const char*>(seeds[i].data()), seeds[i].size());
  }
}
CPP
clang++ -std=c++20 -I"$here/tests" "$out/seeds.cpp" "$here/tests/support/pe_builder.cpp" -o "$out/seeds"
"$out/seeds" "$out/corpus"
for f in "$@"; do cp "$f" "$out/corpus/" 2>/dev/null || true; done

cd "$out"
./pe_version_fuzz -max_total_time="$seconds" -max_len=262144 -rss_limit_mb=1024 \
  -timeout=5 -artifact_prefix="$out/crashes/" -print_final_stats=1 corpus 2>&1 | tee fuzz.log |
  grep -E "^#[0-9]+ +(pulse|DONE)|stat::|ERROR|SUMMARY" || true
if compgen -G "$out/crashes/*" >/dev/null; then
  echo "fuzz-pe-version: findings in $out/crashes" >&2
  exit 1
fi
echo "fuzz-pe-version: no findings"
