#!/usr/bin/env bash
# The floppy transfer under Wine, on disks as small as the test makes them: drive A: of the prefix is
# a folder on a small tmpfs (one per disk, each mounted with its own size limit), and the test is the
# user who changes the disks: when a box asks for disk N it points A: at disk N and only then lets the
# scripted UI press OK ("answer OK when <file>").
#  1. the distribution's setup.exe *TODISK writes the loading program (with the "NOTSELFEXTRACT"
#     trailer) and setup.1 onto disk 1, fills it with files.1, asks for disk 2 and spreads the rest
#     over the next disks;
#  2. the spanned set installs from A: with the disk changes, every file byte for byte.
# Needs root (mount); the tests run as root.
set -uo pipefail
export LANG=C LC_ALL=C
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tests/support/e2e.sh"
e2e_start floppy_transfer
require "$engine" "$loader" "$stamp"
wine_run() { "$here/scripts/wine.sh" "${prefix[@]}" --version winxp --timeout 120 "$@"; }
boxes() { tr -d '\r' <"$1" | grep '^| ' || true; }

disks=(1 2 3 4)
cleanup() {
  # A user at the drive who is still waiting gives up.
  [ -d "$work" ] && : >"$work/stop-swapping"
  for n in "${disks[@]}"; do umount "$work/disk$n" 2>/dev/null; done
  rm -f "$prefix_dir/prefix/dosdevices/a:"
  [ -n "${saved_a:-}" ] && ln -sfn "$saved_a" "$prefix_dir/prefix/dosdevices/a:"
}
mkdir -p "$work/kit" "$work/src"

# The product: three files that do not compress, 360 KiB together.
head -c 184320 /dev/urandom >"$work/src/atlas.dat"
head -c 122880 /dev/urandom >"$work/src/tiles.bin"
head -c 61440 /dev/urandom >"$work/src/index.db"
{
  echo "object mainForm: TmainForm"
  for s in ProgramFiles ContainerDestDir ContainerArchiveFile MainArchiveFile; do
    printf '  object ps%s: Tps%s\n  end\n' "$s" "$s"
  done
  printf "  object Install1: TInstall\n    DestDir = '\\\\Floppy Product'\n"
  printf "    DestDirType = psProgramFiles\n    Information.ProductName = 'Floppy Product'\n  end\n"
  for f in atlas.dat tiles.bin index.db; do
    printf "  object f%s: TInstallFile\n" "${f%%.*}"
    printf "    ArchiveFileType = psContainerArchiveFile\n    Container = Install1\n"
    printf "    DestDirType = psContainerDestDir\n    DestName = '%s'\n    FileName = '%s'\n" "$f" "$f"
    printf "    IncludeFromDir = '%s'\n  end\n" "$(winpath "$work/src")"
  done
  echo "end"
} >"$work/product.tmby"
exe="$work/kit/FloppySetup.exe"
"$stamp" "$engine" "$work/product.tmby" "$exe" >/dev/null
cp "$loader" "$work/kit/TamberlyLoadProgram.exe"
printf '%s\r\n' "$(winpath "$work/dist")" >"$work/kit/BUILD.INF"
wine_run reg delete 'HKLM\Software\QRN\Tamberly' /f >/dev/null 2>&1
TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/build.txt" wine_run "$exe" -b
rc=$?
check "the distribution is built" [ "$rc" = 0 -a -f "$work/dist/files.1" ]
[ "$rc" = 0 ] || exit 1

# The disks: disk 1 holds the loading program, setup.1 and 100 KiB of files.1; the others 200 KiB.
kib() { echo $((($(stat -c %s "$1") + 4095) / 4096 * 4)); }
size[1]=$(($(kib "$loader") + 4 + $(kib "$work/dist/setup.1") + 100))
size[2]=200
size[3]=200
size[4]=200
for n in "${disks[@]}"; do
  mkdir -p "$work/disk$n"
  if ! mount -t tmpfs -o "size=${size[$n]}k" tmpfs "$work/disk$n"; then
    echo "FAILED: cannot mount a small tmpfs as disk $n (the test needs root)"
    cleanup
    exit 1
  fi
done
saved_a=$(readlink "$prefix_dir/prefix/dosdevices/a:" 2>/dev/null)
trap cleanup EXIT
trap 'exit 1' INT TERM
insert() { ln -sfn "$work/disk$1" "$prefix_dir/prefix/dosdevices/a:"; }
# The user at the drive: for the k-th box that asks for a disk, puts that disk into A: and then
# lets the box be answered (the file "inserted-k").
swapper() {
  local transcript=$1 seen=0 asked
  while [ ! -e "$work/stop-swapping" ]; do
    mapfile -t asked < <(tr -d '\r' <"$transcript" 2>/dev/null |
      sed -nE 's/^\| Please insert disk #?([0-9]+)$/\1/p')
    while [ $seen -lt ${#asked[@]} ]; do
      insert "${asked[$seen]}"
      seen=$((seen + 1))
      : >"$work/inserted-$seen"
    done
    sleep 0.1
  done
}
# run_with_disks NAME COMMAND...: runs COMMAND with the scripted UI and the user at the drive.
run_with_disks() {
  local name=$1
  shift
  rm -f "$work"/inserted-* "$work/stop-swapping"
  for k in 1 2 3 4 5 6; do
    echo "answer OK when \"$(winpath "$work/inserted-$k")\""
  done >"$work/$name.script"
  : >"$work/$name.txt"
  swapper "$work/$name.txt" &
  local swapper_pid=$!
  TMBY_UI=script TMBY_UI_TRANSCRIPT="$work/$name.txt" TMBY_UI_SCRIPT="$work/$name.script" \
    wine_run "$@"
  local rc=$?
  : >"$work/stop-swapping"
  wait "$swapper_pid"
  return $rc
}

# 1. The transfer: the distribution's setup.exe, as the user starts it.
insert 1
run_with_disks transfer "$(winpath "$work/dist/setup.exe")" '*TODISK'
rc=$?
check "transfer: exit code 0" [ "$rc" = 0 ]
check "transfer: no other box than the disk changes" \
  [ -z "$(boxes "$work/transfer.txt" | grep -v '^| Please insert disk [0-9]*$')" ]
check "transfer: disk 2 is asked for first" \
  [ "$(boxes "$work/transfer.txt" | head -n 1)" = "| Please insert disk 2" ]
check "transfer: disk 1 holds setup.exe, setup.1 and files.1" \
  [ -f "$work/disk1/setup.exe" -a -f "$work/disk1/setup.1" -a -f "$work/disk1/files.1" ]
check "transfer: setup.1 is the distribution's" cmp -s "$work/dist/setup.1" "$work/disk1/setup.1"
loader_size=$(stat -c %s "$loader")
check "transfer: setup.exe is the loading program and the NOTSELFEXTRACT trailer" \
  bash -c "cmp -s -n $loader_size '$work/dist/setup.exe' '$work/disk1/setup.exe' &&
    tail -c 56 '$work/disk1/setup.exe' | grep -qa NOTSELFEXTRACT"
check "transfer: files.2 on disk 2, files.3 on disk 3" \
  [ -s "$work/disk2/files.2" -a -s "$work/disk3/files.3" ]
spanned=$(($(stat -c %s "$work/disk1/files.1") + $(stat -c %s "$work/disk2/files.2") +
  $(stat -c %s "$work/disk3/files.3")))
check "transfer: the volumes hold all of files.1" [ "$spanned" = "$(stat -c %s "$work/dist/files.1")" ]
check "transfer: no fourth disk" [ ! -e "$work/disk4/files.4" ]

# 2. The install from the disks, disk 1 in the drive.
drive_c="$prefix_dir/prefix/drive_c"
find "$drive_c" -maxdepth 2 -name 'Floppy Product' -exec rm -rf {} + 2>/dev/null
"$here/scripts/wine.sh" "${prefix[@]}" --stop
insert 1
run_with_disks install 'A:\setup.exe'
rc=$?
check "install: exit code 0" [ "$rc" = 0 ]
check "install: the good end" grep -qx 'stage -979 good install' <(tr -d '\r' <"$work/install.txt")
check "install: asks for disk 2, then disk 3" \
  [ "$(boxes "$work/install.txt" | tr '\n' ' ')" = "| Please insert disk #2 | Please insert disk #3 " ]
installed=$(find "$drive_c" -maxdepth 2 -type d -name 'Floppy Product' | head -n 1)
check "install: every file byte for byte" diff -r "$work/src" "$installed"
"$here/scripts/wine.sh" "${prefix[@]}" --stop
exit $fail
