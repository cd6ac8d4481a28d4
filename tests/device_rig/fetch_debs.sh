#!/usr/bin/env bash
# Fetches from Debian's archive what the rig's test machine is made of, and
# unpacks it into OUT/root (never into this machine's /boot or /lib/modules):
# the armmp kernel with its modules, busybox-static for armhf, and the
# kernel's headers with the build machine's kbuild, for the rig's partition
# module. Writes OUT/kernel_release; does nothing when that exists.
# Usage: fetch_debs.sh OUT
set -euo pipefail
out=$1
[ -f "$out/kernel_release" ] && exit 0
rm -rf "$out/debs" "$out/root"
mkdir -p "$out/debs" "$out/root"
cd "$out/debs"

image=$(apt-cache depends linux-image-armmp:armhf | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
image=${image%:armhf}
[ -n "$image" ] || { echo "fetch_debs: no armmp kernel in the package lists (is armhf added?)" >&2; exit 1; }
release=${image#linux-image-}
version=$(apt-cache policy "$image:armhf" | awk '/Candidate:/ { print $2 }')
series=$(echo "$version" | cut -d. -f1,2)
common=linux-headers-${release%-armmp}-common
echo "fetch_debs: $image $version"
apt-get download -q "$image:armhf=$version" busybox-static:armhf "linux-headers-$release:armhf=$version" \
  "$common=$version" "linux-kbuild-$series=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true
for deb in *.deb; do dpkg-deb -x "$deb" "$out/root"; done

# The headers' Makefile includes the common headers by their installed path.
headers=$out/root/usr/src/linux-headers-$release
sed -i "s|^include /usr/src/|include $out/root/usr/src/|" "$headers/Makefile"
echo "$release" >"$out/kernel_release"
