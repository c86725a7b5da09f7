# What the Wine scripts of tests/e2e share; sourced after `here` (the top of the kit) is set.

# check DESCRIPTION COMMAND...: one line per check, and the script fails when one does.
fail=${fail:-0}
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}

# winpath PATH: the Windows form of a Linux path (Wine's Z: drive).
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# sample_distribution SETUP DIST [RUN...]: builds the sample product's distribution into DIST with
# the stamped setup program SETUP, as a vendor does (-b beside a BUILD.INF, the kit's loading program
# beside it). The definition names the product's files relative to the top of the kit, so the build
# runs from there. RUN is the command that starts a Windows program (default: scripts/wine.sh).
sample_distribution() {
  local setup=$1 dist=$2
  shift 2
  local run=("$@")
  [ ${#run[@]} = 0 ] && run=("$here/scripts/wine.sh" --timeout 120)
  cp "$here/build/win32/apps/loader/TamberlyLoadProgram-test.exe" \
    "$(dirname "$setup")/TamberlyLoadProgram.exe"
  printf '%s\r\n' "$(winpath "$dist")" >"$(dirname "$setup")/BUILD.INF"
  (cd "$here" && TMBY_UI=script TMBY_UI_TRANSCRIPT="$dist.build.txt" "${run[@]}" "$setup" -b)
  local rc=$?
  rm -f "$(dirname "$setup")/BUILD.INF"
  [ "$rc" = 0 ] && [ -f "$dist/files.1" ] || {
    echo "the distribution of the sample was not built (exit code $rc):"
    tr -d '\r' <"$dist.build.txt" 2>/dev/null
    return 1
  }
}
