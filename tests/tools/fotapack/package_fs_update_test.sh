#!/usr/bin/env bash
# A package that fotapack builds from an image partition and a file-system
# partition (old and new folders: changed, new, removed and renamed files,
# folders, links, modes) is applied by the simulated agent with the delta
# engine through devsim's restart loop: the update ends with status 0, the
# image partition holds its new image and the file-system partition's files
# are the new folder's, links and modes included.
# Usage: package_fs_update_test.sh FOTAPACK DEVSIM
set -uo pipefail
# KVR_KEY_DIR: the build-time key pairs (signing.secret, signing.public).
keys=${KVR_KEY_DIR:?the build-time key folder}
fotapack=$1 devsim=$2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [[ -f "$work/run.txt" ]] && tail -40 "$work/run.txt" >&2; exit 1; }

python3 - "$work" <<'PY' || exit 1
import os, random, sys
work = sys.argv[1]
rng = random.Random(9)
def data(n):
    return bytes(rng.getrandbits(8) for _ in range(n))
def put(root, path, content, mode=0o644):
    full = os.path.join(work, root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    open(full, "wb").write(content)
    os.chmod(full, mode)
def link(root, path, target):
    full = os.path.join(work, root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    os.symlink(target, full)
kernel = bytearray(data(250_000))
open(f"{work}/kernel.old", "wb").write(kernel)
kernel[1000:1016] = data(16)
open(f"{work}/kernel.new", "wb").write(kernel + data(3000))
busybox, library = bytearray(data(120_000)), data(60_000)
put("old", "bin/busybox", bytes(busybox), 0o755)
put("old", "etc/config", b"a=1\nb=2\n")
put("old", "etc/gone.conf", b"gone\n")
put("old", "lib/libx.so", library, 0o755)
put("old", "var/log/messages", b"boot\n")
link("old", "sh", "bin/busybox")
link("old", "cfg", "etc/config")
busybox[5000:5100] = data(100)
put("new", "bin/busybox", bytes(busybox) + data(2000), 0o755)
put("new", "etc/config", b"a=1\nb=3\nc=4\n", 0o600)
put("new", "etc/new.conf", b"new\n", 0o640)
put("new", "lib/v2/libx.so.2", library, 0o755)
link("new", "sh", "bin/busybox")
link("new", "cfg", "etc/new.conf")
link("new", "www", "www-data/missing")
put("new", "opt/app/run", b"#!/bin/sh\necho app\n", 0o750)
PY

layout="$work/layout"
{
  for name in init obm obm_cfg mep2 uboot arbel msabinary rfplugin; do echo "$name 0x40000 0x20000 2048"; done
  echo "kernel 0x80000 0x20000 2048 image=kernel.old"
  echo "system 0x40000 0x20000 2048 mount=/system folder=old"
  for name in userdata mass_storage NVMFS; do echo "$name 0x40000 0x20000 2048 mount=/$(echo "$name" | tr A-Z a-z)"; done
  for name in recovery kernel_maintenance uboot_maintenance misc fota; do echo "$name 0x40000 0x20000 2048"; done
  echo "cache 0x40000 0x20000 2048 mount=/cache"
} >"$layout"
printf '%s\n' "kernel image kernel.old kernel.new" "system fs old new" >"$work/manifest"

"$fotapack" build "$work/manifest" "$work/update.pkg" --key "$keys/signing.secret" || fail "fotapack build"
"$devsim" init "$work/root" --layout "$layout" --trust "$keys/signing.public" >/dev/null || fail "devsim init"
"$devsim" register "$work/root" "$work/update.pkg" >/dev/null || fail "devsim register"
env -u KVR_STANDIN_ENGINE "$devsim" run "$work/root" >"$work/run.txt" 2>&1 || fail "devsim run"
grep -q "update status: 0" "$work/run.txt" || fail "the update did not end with status 0"
"$devsim" dump "$work/root" kernel "$work/kernel.dump" || fail "devsim dump kernel"
size=$(stat -c %s "$work/kernel.new")
cmp -s -n "$size" "$work/kernel.dump" "$work/kernel.new" || fail "kernel does not hold its new image"
"$devsim" dump "$work/root" system "$work/system.dump" || fail "devsim dump system"
python3 "$(dirname "$0")/../../../scripts/folder_trees.py" compare "$work/new" "$work/system.dump" ||
  fail "system does not hold the new folder"
echo "package of an image and a file-system partition applied through devsim: status 0, kernel and system identical to their new versions"
