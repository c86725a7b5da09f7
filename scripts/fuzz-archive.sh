#!/usr/bin/env bash
# Fuzzes the archive header reader (with extraction) and the self-extract trailer reader with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (clang from Debian).
#   FUZZ_SECONDS  run time of each fuzzer (default 300)
#   FUZZ_DIR      work directory (default build/fuzz-archive)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${FUZZ_DIR:-$root/build/fuzz-archive}"
seconds="${FUZZ_SECONDS:-300}"
mkdir -p "$dir/seeds-header" "$dir/seeds-trailer" "$dir/corpus-header" "$dir/corpus-trailer"

sources=("$root"/src/archive/*.cpp "$root"/src/base/dostime.cpp "$root"/src/base/sha.cpp
  "$root"/src/base/text_codec.cpp "$root"/src/base/component.cpp "$root"/src/base/exceptions.cpp
  "$root"/src/platform/port.cpp
  "$root"/src/platform/memory/*.cpp "$root"/src/system/version*.cpp
  "$root"/src/system/pe_version_reader.cpp)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -I"$root/src" -I"$root/tests")
for target in header trailer; do
  if [ ! -x "$dir/archive_${target}_fuzz" ] || [ -n "${FUZZ_REBUILD:-}" ]; then
    clang++ "${flags[@]}" "$root/tests/fuzz/archive_${target}_fuzz.cpp" "${sources[@]}" -lz \
      -o "$dir/archive_${target}_fuzz"
  fi
done

# Seeds: a small valid archive of two members, and a setup program tail with its trailer.
python3 - "$dir" <<'PY'
import struct, sys, zlib
d = sys.argv[1]
def header(number, name, next_header, size, start, end):
    h = bytearray(176)
    struct.pack_into('<i', h, 0, number)
    struct.pack_into('<d', h, 8, 37000.5)
    struct.pack_into('<i', h, 20, end)
    h[24] = len(name); h[25:25 + len(name)] = name
    struct.pack_into('<iiii', h, 128, next_header, size, start, end + 1)
    struct.pack_into('<i', h, 148, 3)
    return bytes(h)
archive = bytearray(struct.pack('<iB', 2, 0))
for i, text in enumerate([b'hello archive ' * 40, b'']):
    data = zlib.compress(text, 9)
    pos = len(archive)
    start = pos + 176
    end = start + len(data) - 1
    archive += header(i + 1, b'C:\\src\\f%d.txt' % i, end + 1, len(text), start, end) + data
open(d + '/seeds-header/two-members.1', 'wb').write(archive)
exe = bytearray(b'MZ' + b'\0' * 998) + archive
rec = bytearray(56); rec[0] = 14; rec[1:15] = b'SELFEXTRACTING'
struct.pack_into('<iiii', rec, 16, 1000, 1000 + len(archive) - 1, 1000, 1000 + len(archive) - 1)
open(d + '/seeds-trailer/setup.exe', 'wb').write(exe + rec + b'0' * 40)
PY

for target in header trailer; do
  echo "== archive_${target}_fuzz for ${seconds}s"
  (cd "$dir" && "./archive_${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 \
    -print_final_stats=1 "corpus-$target" "seeds-$target" 2>&1 | tail -25)
done
