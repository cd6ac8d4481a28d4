#!/usr/bin/env bash
# Sample partitions for the agent: old and new images of every image partition
# and old and new folder trees of every file-system partition of both
# partition tables, written into WORK:
#   NAME.old, NAME.new         images (sizes not multiples of a block, blocks
#                              edited, the image rotated and grown)
#   old/NAME/, new/NAME/       folders (changed, new, removed and renamed
#                              files, modes, links)
#   manifest                   for fotapack build
#   layout                     for devsim init, holding the old images and files
#   expected/NAME              the new image or folder, for devsim campaign
# Usage: scripts/sample_partitions.sh WORK
set -euo pipefail
work=$1
mkdir -p "$work"

images=(init obm obm_cfg mep2 uboot arbel msabinary rfplugin kernel recovery kernel_maintenance uboot_maintenance)
python3 - "$work" "${images[@]}" <<'PY'
import random, sys
work, names = sys.argv[1], sys.argv[2:]
rng = random.Random(2026)
def noise(n):
    return bytes(rng.getrandbits(8) for _ in range(n))
for index, name in enumerate(names):
    size = 96_000 + 37_123 * index
    old = bytearray(noise(size))
    new = bytearray(old)
    for _ in range(8 + index):
        at = rng.randrange(len(new) - 64)
        new[at:at + 24] = noise(24)
    cut = rng.randrange(len(new) // 2)
    new = new[cut:] + new[:cut] + noise(3_000 + 500 * index)
    open(f"{work}/{name}.old", "wb").write(old)
    open(f"{work}/{name}.new", "wb").write(new)
PY
folders=(system userdata mass_storage NVMFS)
python3 - "$work" "${folders[@]}" <<'PY'
import os, random, sys
work, names = sys.argv[1], sys.argv[2:]
rng = random.Random(2027)
def noise(n):
    return bytes(rng.getrandbits(8) for _ in range(n))
def put(root, path, content, mode=0o644):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    open(full, "wb").write(content)
    os.chmod(full, mode)
for index, name in enumerate(names):
    old, new = f"{work}/old/{name}", f"{work}/new/{name}"
    program = bytearray(noise(60_000 + 20_000 * index))
    library = noise(30_000)
    put(old, "bin/app", bytes(program), 0o755)
    put(old, "lib/libapp.so.1", library, 0o755)
    put(old, "etc/app.conf", b"level=1\nport=80\n")
    put(old, "etc/old.conf", b"retired\n")
    put(old, "share/readme.txt", b"version 1\n" * 50)
    os.symlink("bin/app", f"{old}/app")
    program[1_000:1_040] = noise(40)
    put(new, "bin/app", bytes(program) + noise(1_500), 0o755)
    put(new, "lib/v2/libapp.so.2", library, 0o755)
    put(new, "etc/app.conf", b"level=2\nport=80\nlog=on\n", 0o600)
    put(new, "etc/new.conf", b"added\n", 0o640)
    put(new, "share/readme.txt", b"version 1\n" * 50)
    os.symlink("lib/v2/libapp.so.2", f"{new}/libapp")
PY

{
  for name in "${images[@]}"; do echo "$name image $name.old $name.new"; done
  for name in "${folders[@]}"; do echo "$name fs old/$name new/$name"; done
} >"$work/manifest"
{
  for name in init obm obm_cfg mep2 uboot arbel msabinary rfplugin kernel; do echo "$name 0x100000 0x20000 2048 image=$name.old"; done
  for name in "${folders[@]}"; do
    echo "$name 0x400000 0x20000 2048 mount=/$(echo "$name" | tr A-Z a-z) folder=old/$name"
  done
  for name in recovery kernel_maintenance uboot_maintenance; do echo "$name 0x100000 0x20000 2048 image=$name.old"; done
  printf '%s\n' "misc 0x40000 0x20000 2048" "fota 0x40000 0x20000 2048" "cache 0x200000 0x20000 2048 mount=/cache"
} >"$work/layout"

mkdir -p "$work/expected"
for name in "${images[@]}"; do cp "$work/$name.new" "$work/expected/$name"; done
for name in "${folders[@]}"; do cp -a "$work/new/$name" "$work/expected/$name"; done
