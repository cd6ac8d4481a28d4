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
  zlib1g-dev nettle-dev libcli11-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  xvfb x11-apps imagemagick
  qemu-user
  g++-arm-linux-gnueabihf
  libzstd-dev:armhf liblzma-dev:armhf libsodium-dev:armhf
  u-boot-tools busybox
  qemu-system-arm cpio
  nftables fonts-wine
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
# A mirror in mid-sync can serve one index that does not match its release
# file; apt then uses the other indexes. Try again a few times, then go on
# with what was fetched: the install below still fails if a package is
# really missing.
for attempt in 1 2 3; do
  if "${sudo_cmd[@]}" apt-get update -q; then break; fi
  echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
  if [ "$attempt" -lt 3 ]; then sleep 15; fi
done
# The armhf -dev packages and their libraries are Multi-Arch: same: both
# architectures must have one version. When the armhf index lags behind the
# amd64 one (its security index failed above), this lists each armhf package
# at its armhf candidate version together with the libraries it needs at
# exactly that version, on both architectures.
same_version_pins() {
  local p base version dep
  for p in "$@"; do
    [[ $p == *:armhf ]] || continue
    base=${p%:armhf}
    version=$(apt-cache policy "$p" | awk '/Candidate:/ {print $2}')
    [ -n "$version" ] && [ "$version" != "(none)" ] || continue
    echo "$base=$version" "$p=$version"
    for dep in $(apt-cache show "$p=$version" | sed -n 's/^Depends: //p' | tr ',' '\n' |
                 sed -n "s/^ *\([a-z0-9.+-]*\)\(:any\)\? *(= $version).*/\1/p"); do
      echo "$dep=$version" "$dep:armhf=$version"
    done
  done
}

if [ "${#need[@]}" -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  if ! "${sudo_cmd[@]}" apt-get install -y -q --no-remove "${need[@]}"; then
    mapfile -t pins < <(same_version_pins "${need[@]}" | tr ' ' '\n')
    echo "install-deps: trying again with the armhf versions on both architectures: ${pins[*]}"
    "${sudo_cmd[@]}" apt-get install -y -q --no-remove --allow-downgrades "${need[@]}" "${pins[@]}"
  fi
fi
if [ "${#need_lean[@]}" -gt 0 ]; then
  echo "install-deps: installing ${need_lean[*]}"
  "${sudo_cmd[@]}" apt-get install -y -q --no-remove --no-install-recommends "${need_lean[@]}"
fi
