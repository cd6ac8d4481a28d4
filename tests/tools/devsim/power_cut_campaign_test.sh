#!/usr/bin/env bash
# The short power-cut campaign: a package of two image partitions (one of
# them Thumb-2 code whose delta predicts its moved calls) and one
# file-system partition made by fotapack, cut by devsim campaign at every
# flash operation and at every file operation of the whole update. Every
# flash cut must end on the target images and files; after no cut may a
# partition hold a mixture of its old and new contents (for the file-system
# partition: files, modes, owners and links), and no run may end badly (a
# restart loop, an abnormal end, or a finished update that still reports
# itself as under way).
# Usage: power_cut_campaign_test.sh FOTAPACK DEVSIM
set -uo pipefail
# KVR_KEY_DIR: the build-time key pairs (signing.secret, signing.public).
keys=${KVR_KEY_DIR:?the build-time key folder}
fotapack=$1 devsim=$2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [[ -f "$work/campaign.txt" ]] && grep -v "target reached (" "$work/campaign.txt" >&2; exit 1; }

python3 - "$work" <<'PY' || exit 1
import os, random, sys
work = sys.argv[1]
rng = random.Random(9)
def image(n):
    return bytes(rng.getrandbits(8) for _ in range(n))
os.mkdir(f"{work}/expected")
old = bytearray(image(300_001))
new = bytearray(old)
for _ in range(20):
    at = rng.randrange(len(new) - 64)
    new[at:at + 16] = image(16)
new = new[40_000:] + new[:40_000] + image(5_000)
open(f"{work}/kernel.old", "wb").write(old)
open(f"{work}/kernel.new", "wb").write(new)
open(f"{work}/expected/kernel", "wb").write(new)

# Thumb-2 code: small words and calls (BL) to forty functions; the new
# version has words inserted in a few places and every call re-aimed.
def bl(site, target):
    imm = ((target - site - 4) >> 1) & 0xFFFFFF
    s, i1, i2 = imm >> 23, (imm >> 22) & 1, (imm >> 21) & 1
    j1, j2 = (~i1 ^ s) & 1, (~i2 ^ s) & 1
    return (0xF000 | s << 10 | (imm >> 11) & 0x3FF) | (0xD000 | j1 << 13 | j2 << 11 | imm & 0x7FF) << 16
words = 37_000
functions = [rng.randrange(words) for _ in range(40)]
calls = {i: rng.choice(functions) for i in range(words) if rng.randrange(6) == 0}
filler = [(rng.randrange(16)) << 4 for _ in range(words)]
moved, shift = [], 0
inserts = {rng.randrange(words): 1 + rng.randrange(8) for _ in range(12)}
for i in range(words + 1):
    shift += inserts.get(i, 0)
    moved.append(i + shift)
def code(place):
    out = bytearray(4 * place(words))
    for i in range(words):
        word = bl(4 * place(i), 4 * place(calls[i])) if i in calls else filler[i]
        out[4 * place(i):4 * place(i) + 4] = word.to_bytes(4, "little")
    return bytes(out)
open(f"{work}/recovery.old", "wb").write(code(lambda i: i))
new = code(lambda i: moved[i])
open(f"{work}/recovery.new", "wb").write(new)
open(f"{work}/expected/recovery", "wb").write(new)
def put(root, path, content, mode=0o644):
    full = os.path.join(work, root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    open(full, "wb").write(content)
    os.chmod(full, mode)
busybox = bytearray(image(40_000))
put("old", "bin/busybox", bytes(busybox), 0o755)
put("old", "etc/config", b"a=1\nb=2\n")
put("old", "etc/gone.conf", b"gone\n")
put("old", "lib/libx.so", image(9_000), 0o755)
os.symlink("bin/busybox", f"{work}/old/sh")
os.symlink("etc/config", f"{work}/old/cfg")
busybox[5000:5100] = image(100)
put("expected/system", "bin/busybox", bytes(busybox) + image(700), 0o755)
put("expected/system", "etc/config", b"a=1\nb=3\nc=4\n", 0o600)
put("expected/system", "etc/new.conf", b"new\n", 0o640)
put("expected/system", "lib/v2/libx.so.2", open(f"{work}/old/lib/libx.so", "rb").read(), 0o755)
os.symlink("bin/busybox", f"{work}/expected/system/sh")
os.symlink("etc/new.conf", f"{work}/expected/system/cfg")
PY

{
  echo "kernel 0x80000 0x20000 2048 image=kernel.old"
  echo "system 0x40000 0x20000 2048 mount=/system folder=old"
  echo "recovery 0x80000 0x20000 2048 image=recovery.old"
  echo "misc 0x40000 0x20000 2048"
  echo "cache 0x40000 0x20000 2048 mount=/cache"
} >"$work/layout"
printf '%s\n' "kernel image kernel.old kernel.new" "recovery image recovery.old recovery.new" \
  "system fs old expected/system" >"$work/manifest"

"$fotapack" build "$work/manifest" "$work/update.pkg" --key "$keys/signing.secret" || fail "fotapack build"
mkdir -p "$work/members" && "$fotapack" extract "$work/update.pkg" "$work/members" >/dev/null || fail "fotapack extract"
python3 - "$work/members" <<'PY' || fail "no image delta of the package predicts Thumb-2 calls"
import os, struct, sys
kinds = []
for name in os.listdir(sys.argv[1]):
    data = open(os.path.join(sys.argv[1], name), "rb").read()
    if data[:4] == b"KVRD" and struct.unpack_from("<I", data, 8)[0] == 1:
        kinds.append(struct.unpack_from("<I", data, 48)[0])
print("image deltas' code transforms:", kinds)
sys.exit(0 if 2 in kinds else 1)
PY
env -u KVR_STANDIN_ENGINE "$devsim" campaign "$work/layout" "$work/update.pkg" "$work/expected" \
  --time-limit 60 --work "$work/runs" --trust "$keys/signing.public" >"$work/campaign.txt" 2>&1
grep -q '^without cuts: .*flash operations [1-9]' "$work/campaign.txt" || fail "the update without cuts failed"
summary=$(grep -E '^  flash cuts tried [0-9]+ ' "$work/campaign.txt") || fail "no flash cut summary"
read -r tried reached <<<"$(sed -E 's/^  flash cuts tried ([0-9]+) .*target reached ([0-9]+),.*/\1 \2/' <<<"$summary")"
((tried > 0)) || fail "no flash cut tried"
((reached == tried)) || fail "flash cuts: $reached of $tried reached the target"
grep -qE '^  file cuts tried [1-9]' "$work/campaign.txt" || fail "no file cut tried"
grep -q "partitions checked: .*system" "$work/campaign.txt" || fail "the file-system partition was not checked"
! grep -q "MIXTURE" "$work/campaign.txt" || fail "a partition holds a mixture of its old and new images"
! grep -qE '^(flash|file) cut [0-9]+: BAD' "$work/campaign.txt" || fail "a bad run"
grep -E '^  (flash|file) cuts tried|^  time' "$work/campaign.txt"
