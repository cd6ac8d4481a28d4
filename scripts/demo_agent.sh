#!/usr/bin/env bash
# The agent's half of the demo: fotapack builds an update package from old
# and new images of every image partition and old and new folder trees of
# every file-system partition of both partition tables, devsim makes a
# simulated router holding the old images and files, registers the package
# and runs the simulated kvr_fota_update through its restarts; then every
# partition is compared with its new image or folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/native}"
fotapack="$build/tools/fotapack/fotapack"
devsim="$build/tools/devsim/devsim"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

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

echo "== fotapack: one package for ${#images[@]} image partitions and ${#folders[@]} file-system partitions =="
start=$(date +%s.%N)
"$fotapack" build "$work/manifest" "$work/update.pkg"
echo "  built $(stat -c %s "$work/update.pkg") bytes in $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }") s"
echo
echo "== devsim: a simulated router with the old images and files, the package registered, the agent through its restarts =="
"$devsim" init "$work/root" --layout "$work/layout" >/dev/null
"$devsim" register "$work/root" "$work/update.pkg" >/dev/null
env -u KVR_STANDIN_ENGINE "$devsim" run "$work/root" | grep -E '^start|stages run|^  end|update status|restarts' || true
echo
echo "== every partition against its new image or folder =="
printf '  %-20s %10s %10s %8s  %s\n' partition "new bytes" "delta" "changed" "identical to new"
status=0
while read -r member delta _; do
  name=${member%.mld}
  "$devsim" dump "$work/root" "$name" "$work/$name.dump" >/dev/null
  if [[ -d "$work/new/$name" ]]; then
    # Folders: bytes of all new files, entries changed, equal with modes and links.
    read -r size changed same < <(python3 - "$work/old/$name" "$work/new/$name" "$work/$name.dump" <<'PY'
import os, stat, sys
def tree(root):
    out = {}
    for folder, dirs, files in os.walk(root):
        for entry in dirs + files:
            full = os.path.join(folder, entry)
            st = os.lstat(full)
            rel = os.path.relpath(full, root)
            if stat.S_ISLNK(st.st_mode):
                out[rel] = ("link", os.readlink(full))
            elif stat.S_ISDIR(st.st_mode):
                out[rel] = ("folder", stat.S_IMODE(st.st_mode))
            else:
                out[rel] = ("file", stat.S_IMODE(st.st_mode), open(full, "rb").read())
    return out
old, new, got = (tree(p) for p in sys.argv[1:4])
size = sum(len(v[2]) for v in new.values() if v[0] == "file")
changed = sum(old.get(k) != new.get(k) for k in set(old) | set(new))
print(size, changed, "yes" if got == new else "no")
PY
)
    [[ "$same" == yes ]] || status=1
    printf '  %-20s %10d %10d %8s  %s\n' "$name" "$size" "$delta" "$changed" "$same"
    continue
  fi
  size=$(stat -c %s "$work/$name.new")
  changed=$(python3 - "$work/$name.old" "$work/$name.new" <<'PY'
import sys
old, new = (open(p, "rb").read() for p in sys.argv[1:3])
block = 0x20000
count = (max(len(old), len(new)) + block - 1) // block
pad = lambda data, i: data[i * block:(i + 1) * block].ljust(block, b"\xff")
print(sum(pad(old, i) != pad(new, i) for i in range(count)))
PY
)
  same=no
  if cmp -s -n "$size" "$work/$name.dump" "$work/$name.new" &&
     tail -c +"$((size + 1))" "$work/$name.dump" | tr -d '\377' | cmp -s - /dev/null; then same=yes; else status=1; fi
  printf '  %-20s %10d %10d %8s  %s\n' "$name" "$size" "$delta" "$changed" "$same"
done < <("$fotapack" list "$work/update.pkg")
exit "$status"
