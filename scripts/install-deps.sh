#!/usr/bin/env bash
# Installs every build and test prerequisite from Debian's archive.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3
  googletest
  clang libclang-rt-14-dev
  liblzma-dev libzstd-dev libsodium-dev
  libdivsufsort-dev bsdiff xdelta3
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  xvfb x11-apps imagemagick
  qemu-user
  g++-arm-linux-gnueabihf
  libzstd-dev:armhf liblzma-dev:armhf libsodium-dev:armhf
  u-boot-tools busybox
)
# Installed without recommends: wine would otherwise pull a 32-bit wine for
# the foreign armhf architecture, which nothing here uses.
packages_lean=(wine wine64)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  "${sudo_cmd[@]}" dpkg --add-architecture armhf
fi

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t need < <(missing "${packages[@]}")
mapfile -t need_lean < <(missing "${packages_lean[@]}")

if [ "${#need[@]}" -eq 0 ] && [ "${#need_lean[@]}" -eq 0 ]; then
  echo "install-deps: everything is present"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
if [ "${#need[@]}" -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  "${sudo_cmd[@]}" apt-get install -y -q --no-remove "${need[@]}"
fi
if [ "${#need_lean[@]}" -gt 0 ]; then
  echo "install-deps: installing ${need_lean[*]}"
  "${sudo_cmd[@]}" apt-get install -y -q --no-remove --no-install-recommends "${need_lean[@]}"
fi
