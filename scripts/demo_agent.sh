#!/usr/bin/env bash
# The agent's half of the demo: fotapack builds an update package from old
# and new images of every image partition of both partition tables, devsim
# makes a simulated router holding the old images, registers the package and
# runs the simulated kvr_fota_update through its restarts; then every
# partition is compared with its new image.
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

{
  for name in "${images[@]}"; do echo "$name image $name.old $name.new"; done
} >"$work/manifest"
{
  for name in init obm obm_cfg mep2 uboot arbel msabinary rfplugin kernel; do echo "$name 0x100000 0x20000 2048 image=$name.old"; done
  for name in system userdata mass_storage NVMFS; do echo "$name 0x40000 0x20000 2048 mount=/$(echo "$name" | tr A-Z a-z)"; done
  for name in recovery kernel_maintenance uboot_maintenance; do echo "$name 0x100000 0x20000 2048 image=$name.old"; done
  printf '%s\n' "misc 0x40000 0x20000 2048" "fota 0x40000 0x20000 2048" "cache 0x200000 0x20000 2048 mount=/cache"
} >"$work/layout"

echo "== fotapack: one package for ${#images[@]} image partitions =="
start=$(date +%s.%N)
"$fotapack" build "$work/manifest" "$work/update.pkg"
echo "  built $(stat -c %s "$work/update.pkg") bytes in $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }") s"
echo
echo "== devsim: a simulated router with the old images, the package registered, the agent through its restarts =="
"$devsim" init "$work/root" --layout "$work/layout" >/dev/null
"$devsim" register "$work/root" "$work/update.pkg" >/dev/null
env -u KVR_STANDIN_ENGINE "$devsim" run "$work/root" | grep -E '^start|stages run|^  end|update status|restarts' || true
echo
echo "== every partition against its new image =="
printf '  %-20s %10s %10s %8s  %s\n' partition "new bytes" "delta" "changed" "identical to new"
status=0
while read -r member delta _; do
  name=${member%.mld}
  "$devsim" dump "$work/root" "$name" "$work/$name.dump" >/dev/null
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
