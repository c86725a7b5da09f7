#!/usr/bin/env bash
# Fuzzes the install definition reader (and the writer's round trip) with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (clang from Debian).
#   FUZZ_SECONDS  run time (default 300)
#   FUZZ_DIR      work directory (default build/fuzz-definition)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${FUZZ_DIR:-$root/build/fuzz-definition}"
seconds="${FUZZ_SECONDS:-300}"
mkdir -p "$dir/seeds" "$dir/corpus"

sources=("$root"/src/base/component.cpp "$root"/src/base/definition_reader.cpp
  "$root"/src/base/definition_writer.cpp "$root"/src/base/text_codec.cpp
  "$root"/src/base/exceptions.cpp
  "$root"/tests/support/component_fixtures.cpp)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -I"$root/src" -I"$root/tests")
if [ ! -x "$dir/definition_fuzz" ] || [ -n "${FUZZ_REBUILD:-}" ]; then
  clang++ "${flags[@]}" "$root/tests/fuzz/definition_fuzz.cpp" "${sources[@]}" \
    -o "$dir/definition_fuzz"
fi

cat > "$dir/seeds/every-kind.tmby" <<'DEF'
object Form1: TTestForm
  Caption = 'Setup'
  OnActivate = FormActivate
  object Item1: TTestItem
    Tag = 2
    Number = -42
    Text = 'It''s'#13#10'here' +
      ' and there'
    Small = 255
    Enabled = False
    Colour = tcBlue
    Colours = [tcGreen, tcBlack]
    Lines = (
      'one'
      'two' + '!')
    Image = {
      0001FF
      80}
    Settings.Caption = 'Hello'
    Settings.Count = 4
    Settings.Lines = ('a')
    Settings.Inner.Flag = True
    Settings.Inner.Level = 3
    Settings.Target = Item2
    Color = clWhite
    Link = Item2
    Other = Form1
    OnChange = ItemChanged
    OnCount = Counted
    object Label1: TTestItem
      Text = 'on item 1'
      Other = nil
    end
  end
  object Item2: TTestSpecialItem
    Link = Item1
    Colours = []
  end
  object TComponent
  end
end
DEF
printf 'object F: TTestForm\n  Width = $10\n  object A: TTestItem Color = 255 end\nend\n' \
  > "$dir/seeds/small.tmby"

cat > "$dir/definition.dict" <<'DICT'
"object"
"end"
"True"
"False"
"nil"
"TTestForm"
"TTestItem"
"TTestSpecialItem"
"TTestAbstract"
"TComponent"
"Caption"
"Width"
"OnActivate"
"Number"
"Text"
"Small"
"Enabled"
"Colour"
"Colours"
"Lines"
"Image"
"Settings."
"Inner."
"Target"
"Color"
"Link"
"Other"
"OnChange"
"OnCount"
"Kids"
"Tag"
"tcRed"
"tcBlack"
"clWhite"
"FormActivate"
"ItemChanged"
"Counted"
"#13#10"
"''"
" = "
"[tcRed, tcBlue]"
"('a' 'b')"
"{00FF}"
"$7FFFFFFF"
DICT

echo "== definition_fuzz for ${seconds}s"
(cd "$dir" && ./definition_fuzz -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=1024 \
  -timeout=10 -dict=definition.dict -print_final_stats=1 corpus seeds 2>&1 | tail -25)
