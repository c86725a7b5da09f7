# What the Wine scripts of tests/e2e share; sourced after `here` (the top of the kit) is set.

# The kit's programs as the scripts run them (TMBY_SETUP_TEST_EXE puts another engine in).
engine="${TMBY_SETUP_TEST_EXE:-$here/build/win32/apps/setup/setup-test.exe}"
loader="$here/build/win32/apps/loader/TamberlyLoadProgram-test.exe"
stamp="$here/build/native/apps/tmbystamp/tmbystamp"

# e2e_start NAME: the script's work folder (emptied) and the Wine prefix its programs run in:
# TMBY_WINE_PREFIX, else scripts/wine.sh's own. `prefix` holds the options that choose it for
# scripts/wine.sh, `prefix_dir` the folder.
e2e_start() {
  work="${TMBY_E2E_DIR:-$here/build/e2e}/$1"
  # What an earlier run left mounted below it (the floppy disks) is let go first.
  local m
  for m in $(awk -v w="$work/" 'index($2, w) == 1 { print $2 }' /proc/mounts); do
    umount "$m" 2>/dev/null
  done
  rm -rf "$work"
  mkdir -p "$work"
  prefix=()
  [ -n "${TMBY_WINE_PREFIX:-}" ] && prefix=(--prefix "$TMBY_WINE_PREFIX")
  prefix_dir="${TMBY_WINE_PREFIX:-$here/build/wineprefix}"
}

# require FILE...: the script fails at once when the build did not make one of them.
require() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || { echo "FAILED: $f was not built"; exit 1; }
  done
}

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
