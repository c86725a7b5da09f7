#!/usr/bin/env bash
# Installs what the build and the tests need, once: compilers (g++, mingw-w64), Wine 32- and 64-bit
# with its IDL compiler (widl, for the test type library), Xvfb and ImageMagick for screenshots (with
# fonts for the Chinese, Japanese, Korean and Hebrew texts of the languages), zlib for both targets,
# GoogleTest sources, clang for fuzzing, Python with pyftpdlib for the loopback servers of the net
# tests.
# Idempotent: a machine that has everything is left alone and nothing is downloaded.
set -euo pipefail

packages=(
  cmake make ninja-build g++ pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  zlib1g-dev libz-mingw-w64-dev googletest
  wine wine64 wine32:i386 fonts-wine wine64-tools
  fonts-wqy-microhei fonts-dejavu-core
  xvfb xauth x11-utils imagemagick
  clang libclang-rt-14-dev
  python3 python3-pyftpdlib
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null; then sudo="sudo"; else
    echo "install-deps: missing packages (${missing[*]}) and not root: install them with apt-get as root" >&2
    exit 1
  fi
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get update -q >/tmp/tmby-apt-update.log 2>&1; then
  echo "install-deps: 'apt-get update' failed (see /tmp/tmby-apt-update.log); the package registry must be reachable" >&2
  exit 1
fi
if ! $sudo apt-get install -y -q "${missing[@]}" >/tmp/tmby-apt-install.log 2>&1; then
  tail -n 20 /tmp/tmby-apt-install.log >&2
  echo "install-deps: 'apt-get install ${missing[*]}' failed (log: /tmp/tmby-apt-install.log)" >&2
  exit 1
fi
echo "install-deps: done"
