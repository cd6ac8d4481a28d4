#!/usr/bin/env bash
# A package that fotapack builds from old and new images of image partitions
# of both tables is applied by the simulated agent with the delta engine,
# through devsim's restart loop: the update ends with status 0 and every
# partition holds its new image, followed by erased flash.
# With AGENT, REGISTER and EMULATOR, devsim runs those builds of the agent
# and of its register command through the emulator (the ARM build under
# qemu-arm).
# Usage: package_update_test.sh FOTAPACK DEVSIM [AGENT REGISTER EMULATOR]
set -uo pipefail
# KVR_KEY_DIR: the build-time key pairs (signing.secret, signing.public).
keys=${KVR_KEY_DIR:?the build-time key folder}
fotapack=$1 devsim=$2
run_with=() register_with=()
if [[ $# -ge 5 ]]; then
  run_with=(--agent "$3" --emulator "$5")
  register_with=(--register "$4" --emulator "$5")
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [[ -f "$work/run.txt" ]] && tail -40 "$work/run.txt" >&2; exit 1; }

# Old and new images: pseudo-random content with edits, moves and growth, of
# sizes that are not multiples of a block.
python3 - "$work" <<'PY' || exit 1
import random, sys
work = sys.argv[1]
rng = random.Random(8)
def image(n):
    return bytes(rng.getrandbits(8) for _ in range(n))
for name, size in (("kernel", 300_001), ("recovery", 150_123), ("kernel_maintenance", 200_000)):
    old = bytearray(image(size))
    new = bytearray(old)
    for _ in range(40):
        at = rng.randrange(len(new) - 64)
        new[at:at + 16] = image(16)
    new = new[50_000:] + new[:50_000] + image(7_777)
    open(f"{work}/{name}.old", "wb").write(old)
    open(f"{work}/{name}.new", "wb").write(new)
PY

layout="$work/layout"
{
  for name in init obm obm_cfg mep2 uboot arbel msabinary rfplugin; do echo "$name 0x40000 0x20000 2048"; done
  echo "kernel 0x80000 0x20000 2048 image=kernel.old"
  for name in system userdata mass_storage NVMFS; do echo "$name 0x40000 0x20000 2048 mount=/$(echo "$name" | tr A-Z a-z)"; done
  echo "recovery 0x80000 0x20000 2048 image=recovery.old"
  echo "kernel_maintenance 0x80000 0x20000 2048 image=kernel_maintenance.old"
  echo "uboot_maintenance 0x40000 0x20000 2048"
  echo "misc 0x40000 0x20000 2048"
  echo "fota 0x40000 0x20000 2048"
  echo "cache 0x40000 0x20000 2048 mount=/cache"
} >"$layout"
printf '%s\n' "kernel image kernel.old kernel.new" "recovery image recovery.old recovery.new" \
  "kernel_maintenance image kernel_maintenance.old kernel_maintenance.new" >"$work/manifest"

"$fotapack" build "$work/manifest" "$work/update.pkg" --key "$keys/signing.secret" || fail "fotapack build"
"$devsim" init "$work/root" --layout "$layout" --trust "$keys/signing.public" >/dev/null || fail "devsim init"
"$devsim" register "$work/root" "$work/update.pkg" "${register_with[@]}" >/dev/null || fail "devsim register"
env -u KVR_STANDIN_ENGINE "$devsim" run "$work/root" "${run_with[@]}" >"$work/run.txt" 2>&1 || fail "devsim run"
grep -q "update status: 0" "$work/run.txt" || fail "the update did not end with status 0"
for name in kernel recovery kernel_maintenance; do
  "$devsim" dump "$work/root" "$name" "$work/$name.dump" || fail "devsim dump $name"
  size=$(stat -c %s "$work/$name.new")
  cmp -s -n "$size" "$work/$name.dump" "$work/$name.new" || fail "$name does not hold its new image"
  tail -c +"$((size + 1))" "$work/$name.dump" | tr -d '\377' | cmp -s - /dev/null || fail "$name is not erased after its image"
done
echo "package of 3 image partitions applied through devsim: status 0, every partition identical to its new image"
