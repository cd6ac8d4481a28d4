#!/usr/bin/env bash
# Builds the rig's partition module against the fetched armmp headers.
# Usage: build_module.sh FILES MODULE_SOURCE_DIR
set -euo pipefail
files=$1 source=$2
release=$(cat "$files/kernel_release")
build=$files/module
rm -rf "$build"
mkdir -p "$build"
cp "$source/rig_mtdparts.c" "$source/Kbuild" "$build/"
make -s -C "$files/root/usr/src/linux-headers-$release" M="$build" ARCH=arm \
  CROSS_COMPILE=arm-linux-gnueabihf- DEB_BUILD_ARCH=amd64 DEB_HOST_ARCH=armhf \
  DEB_HOST_GNU_TYPE=arm-linux-gnueabihf modules
cp "$build/rig_mtdparts.ko" "$files/rig_mtdparts.ko"
