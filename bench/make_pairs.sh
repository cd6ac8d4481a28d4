#!/bin/bash
# Makes more old -> new image pairs from two versions of Debian packages, as
# the shipped benchmark pairs were made, into the folder given (default
# build/bench-pairs): one folder a pair, holding "old" and "new".
#   libc-armhf, libstdcxx-armhf   the same library from two armhf builds
#   libc-arm64, libstdcxx-arm64   the same library from two arm64 builds
#   asan-arm64                    the AArch64 AddressSanitizer runtime of
#                                 gcc 11 and gcc 12 (Debian's cross packages)
#   kernel-armmp                  the uncompressed ARMv7 kernel image (about
#                                 20 MB) of two Debian armmp kernels, taken
#                                 out of their zImage
#   magickcore-amd64, tiff-amd64, de265-amd64   two security updates apart
#   rootfs-amd64                  a tar image (about 20 MB) of the unpacked
#                                 trees of ten packages, old set vs new set;
#                                 the trees themselves are kept beside it
#                                 ("old-tree", "new-tree") for the
#                                 file-system delta
# Packages come from the apt cache when they are there, otherwise through
# `apt-get download` from the Debian archive; arm64 ones through package
# lists of their own under the output folder, so that the machine's apt
# set-up is left as it is.
set -euo pipefail

out=${1:-build/bench-pairs}
debs=$out/debs
mkdir -p "$debs"

# fetch NAME VERSION ARCH: path of the .deb
fetch() {
    local file
    file="${1}_${2//:/%3a}_${3}.deb"
    if [ ! -f "$debs/$file" ]; then
        if [ -f "/var/cache/apt/archives/$file" ]; then
            cp "/var/cache/apt/archives/$file" "$debs/"
        elif [ "$3" = arm64 ]; then
            (cd "$debs" && apt_arm64 download "$1:$3=$2" >/dev/null)
        else
            (cd "$debs" && apt-get download "$1:$3=$2" >/dev/null)
        fi
    fi
    echo "$debs/$file"
}

apt_arm64_ready=
apt_arm64() {
    local state=$out/apt-arm64
    local options=(-q -o APT::Architecture=arm64 -o "APT::Architectures::=arm64" -o "Dir::State::Lists=$state/lists"
        -o "Dir::Cache=$state/cache" -o Debug::NoLocking=1)
    if [ -z "$apt_arm64_ready" ]; then
        mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
        apt-get "${options[@]}" update >/dev/null
        apt_arm64_ready=1
    fi
    apt-get "${options[@]}" "$@"
}

unpack() { # DEB DIR
    rm -rf "$2"
    mkdir -p "$2"
    dpkg-deb -x "$1" "$2"
}

# one NAME PATH-IN-OLD PATH-IN-NEW OLD-DEB NEW-DEB
one() {
    local tmp=$out/tmp
    mkdir -p "$out/$1"
    unpack "$4" "$tmp/old"
    unpack "$5" "$tmp/new"
    cp "$tmp/old/$2" "$out/$1/old"
    cp "$tmp/new/$3" "$out/$1/new"
    rm -rf "$tmp"
    echo "$1: $(stat -c %s "$out/$1/old") -> $(stat -c %s "$out/$1/new") bytes"
}

one libc-armhf usr/arm-linux-gnueabihf/lib/libc.so.6 lib/arm-linux-gnueabihf/libc.so.6 \
    "$(fetch libc6-armhf-cross 2.36-8cross1 all)" "$(fetch libc6 2.36-9+deb12u14 armhf)"
one libstdcxx-armhf usr/arm-linux-gnueabihf/lib/libstdc++.so.6.0.30 usr/lib/arm-linux-gnueabihf/libstdc++.so.6.0.30 \
    "$(fetch libstdc++6-armhf-cross 12.2.0-14cross1 all)" "$(fetch libstdc++6 12.2.0-14+deb12u1 armhf)"
one libc-arm64 usr/aarch64-linux-gnu/lib/libc.so.6 lib/aarch64-linux-gnu/libc.so.6 \
    "$(fetch libc6-arm64-cross 2.36-8cross1 all)" "$(fetch libc6 2.36-9+deb12u14 arm64)"
one libstdcxx-arm64 usr/aarch64-linux-gnu/lib/libstdc++.so.6.0.30 usr/lib/aarch64-linux-gnu/libstdc++.so.6.0.30 \
    "$(fetch libstdc++6-arm64-cross 12.2.0-14cross1 all)" "$(fetch libstdc++6 12.2.0-14+deb12u1 arm64)"
one asan-arm64 usr/aarch64-linux-gnu/lib/libasan.so.6.0.0 usr/aarch64-linux-gnu/lib/libasan.so.8.0.0 \
    "$(fetch libasan6-arm64-cross 11.3.0-11cross1 all)" "$(fetch libasan8-arm64-cross 12.2.0-14cross1 all)"

# kernel SIDE DEB: the kernel image that the zImage of the package unpacks.
kernel() {
    local tmp=$out/tmp/kernel-$1
    unpack "$2" "$tmp"
    mkdir -p "$out/kernel-armmp"
    python3 - "$tmp"/boot/vmlinuz-* "$out/kernel-armmp/$1" <<'PY'
import lzma, sys, zlib
data = open(sys.argv[1], 'rb').read()

def unpack(at):
    for opener in (lambda: lzma.LZMADecompressor(), lambda: zlib.decompressobj(16 + 15)):
        try:
            return opener().decompress(data[at:])
        except (lzma.LZMAError, zlib.error):
            pass
    return b''

# The largest stream that starts at an xz, lzma or gzip header.
best = b''
for magic in (b'\xfd7zXZ\x00', b'\x5d\x00\x00', b'\x1f\x8b\x08'):
    at = data.find(magic)
    while at >= 0:
        found = unpack(at)
        if len(found) > len(best):
            best = found
        at = data.find(magic, at + 1)
if len(best) < 4 << 20:
    sys.exit('no compressed kernel inside ' + sys.argv[1])
open(sys.argv[2], 'wb').write(best)
PY
    rm -rf "$tmp"
}
kernel old "$(fetch linux-image-6.1.0-47-armmp 6.1.170-3 armhf)"
kernel new "$(fetch linux-image-6.1.0-50-armmp 6.1.176-1 armhf)"
echo "kernel-armmp: $(stat -c %s "$out/kernel-armmp/old") -> $(stat -c %s "$out/kernel-armmp/new") bytes"

one magickcore-amd64 usr/lib/x86_64-linux-gnu/libMagickCore-6.Q16.so.6.0.0 usr/lib/x86_64-linux-gnu/libMagickCore-6.Q16.so.6.0.0 \
    "$(fetch libmagickcore-6.q16-6 8:6.9.11.60+dfsg-1.6+deb12u13 amd64)" \
    "$(fetch libmagickcore-6.q16-6 8:6.9.11.60+dfsg-1.6+deb12u16 amd64)"
one tiff-amd64 usr/lib/x86_64-linux-gnu/libtiff.so.6.0.0 usr/lib/x86_64-linux-gnu/libtiff.so.6.0.0 \
    "$(fetch libtiff6 4.5.0-6+deb12u4 amd64)" "$(fetch libtiff6 4.5.0-6+deb12u5 amd64)"
one de265-amd64 usr/lib/x86_64-linux-gnu/libde265.so.0.1.4 usr/lib/x86_64-linux-gnu/libde265.so.0.1.4 \
    "$(fetch libde265-0 1.0.11-1+deb12u3 amd64)" "$(fetch libde265-0 1.0.11-1+deb12u4 amd64)"

# The tar image: the same ten packages at their older and newer versions.
tree() { # SIDE VERSION-OF-EACH...
    local side=$1 dir=$out/tmp/$1
    shift
    rm -rf "$dir"
    mkdir -p "$dir"
    while [ $# -gt 0 ]; do
        dpkg-deb -x "$(fetch "$1" "$2" "$3")" "$dir"
        shift 3
    done
    mkdir -p "$out/rootfs-amd64"
    tar -C "$dir" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf "$out/rootfs-amd64/$side" .
    rm -rf "$out/rootfs-amd64/$side-tree"
    mv "$dir" "$out/rootfs-amd64/$side-tree"
}
im=8:6.9.11.60+dfsg-1.6+deb12u
tree old libmagickcore-6.q16-6 ${im}13 amd64 libmagickwand-6.q16-6 ${im}13 amd64 imagemagick-6.q16 ${im}13 amd64 \
    imagemagick-6-common ${im}13 all libssl3 3.0.22-1~deb12u1 amd64 \
    openssl 3.0.22-1~deb12u1 amd64 libtiff6 4.5.0-6+deb12u4 amd64 libde265-0 1.0.11-1+deb12u3 amd64 \
    libexpat1 2.5.0-1+deb12u4 amd64 libexpat1-dev 2.5.0-1+deb12u4 amd64
tree new libmagickcore-6.q16-6 ${im}16 amd64 libmagickwand-6.q16-6 ${im}16 amd64 imagemagick-6.q16 ${im}16 amd64 \
    imagemagick-6-common ${im}16 all libssl3 3.0.22-1~deb12u2 amd64 \
    openssl 3.0.22-1~deb12u2 amd64 libtiff6 4.5.0-6+deb12u5 amd64 libde265-0 1.0.11-1+deb12u4 amd64 \
    libexpat1 2.5.0-1+deb12u5 amd64 libexpat1-dev 2.5.0-1+deb12u5 amd64
rmdir "$out/tmp" 2>/dev/null || true
echo "rootfs-amd64: $(stat -c %s "$out/rootfs-amd64/old") -> $(stat -c %s "$out/rootfs-amd64/new") bytes"
