#!/usr/bin/env bash
# Boots Debian's armmp kernel in qemu-system-arm (software emulation, no
# network) with an initramfs of busybox, the device build of the agent, the
# rig's init and the update case, and reads the verdicts that the test
# machine prints on its console. Then applies the same package in devsim and
# checks it with the same script.
# Usage: run_rig.sh FILES AGENT REGISTER RIG_TOOL FOTAPACK DEVSIM [--kills N] [--seed S] [--limit SECONDS]
#   FILES: the fetched kernel and busybox (root/) and rig_mtdparts.ko.
#   KVR_KEY_DIR: the build-time key pair (signing.secret) that the device
#   build of the agent trusts. RIG_CONSOLE: a file that keeps the test
#   machine's whole console output.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
files=$1 agent=$2 register=$3 rig_tool=$4 fotapack=$5 devsim=$6
shift 6
kills=12 seed=1 limit=540
while [ $# -gt 0 ]; do
  case $1 in
    --kills) kills=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    *) echo "run_rig: unknown option $1" >&2; exit 2 ;;
  esac
done
keys=${KVR_KEY_DIR:?the build-time key folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

release=$(cat "$files/kernel_release") || fail "no fetched kernel in $files"
root=$files/root
echo "rig: kernel $release, kill seed $seed, $kills kills"

case=$work/ir/rig/case
mkdir -p "$work/ir/bin" "$work/ir/rig/bin" "$work/ir/rig/modules" "$work/ir/proc" "$work/ir/sys" "$work/ir/dev"
python3 "$here/make_case.py" "$case" --kills "$kills" --seed "$seed" || fail "make_case.py"
"$fotapack" build "$case/manifest.full" "$case/full.pkg" --key "$keys/signing.secret" >/dev/null || fail "fotapack build (full)"
"$fotapack" build "$case/manifest.fs" "$case/fs.pkg" --key "$keys/signing.secret" >/dev/null || fail "fotapack build (fs)"
rm -rf "$case/userdata.old" "$case/userdata.new" "$case"/images/*.new

modules=$root/lib/modules/$release/kernel/drivers/mtd
cp "$modules/nand/raw/nandsim.ko" "$modules/mtdblock.ko" "$modules/mtd_blkdevs.ko" "$files/rig_mtdparts.ko" \
  "$work/ir/rig/modules/"
cp "$root/bin/busybox" "$work/ir/bin/busybox"
cp "$agent" "$work/ir/rig/kvr_fota_update"
cp "$register" "$work/ir/rig/kvr_fota_register"
cp "$rig_tool" "$work/ir/rig/bin/rig_tool"
cp "$here/busybox" "$work/ir/rig/bin/busybox"
cp "$here/check_device.sh" "$work/ir/rig/check_device.sh"
cp "$here/rig_init.sh" "$work/ir/init"
(cd "$work/ir" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initrd.gz") || fail "initramfs"

console=$work/console.log
start=$(date +%s.%N)
timeout "$limit" qemu-system-arm -M virt -cpu cortex-a15 -m 768 -smp 1 \
  -display none -monitor none -serial "file:$console" -nic none -no-reboot \
  -kernel "$root/boot/vmlinuz-$release" -initrd "$work/initrd.gz" \
  -append "console=ttyAMA0 quiet panic=-1" </dev/null
status=$?
[ -n "${RIG_CONSOLE:-}" ] && cp "$console" "$RIG_CONSOLE"
elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
tr -d '\r' <"$console" | grep -E '^(RIG|check: FAIL|rig-run: killed)' || true
[ "$status" -eq 124 ] && fail "the test machine did not finish within $limit s"
grep -q '^RIG-END' "$console" || { tail -40 "$console" >&2; fail "the test machine stopped before its last scenario"; }
expected=$(grep -c . "$case/scenarios")
passed=$(grep -c '^RIG-RESULT: [^ ]* PASS' "$console")
printf 'rig: machine ran %.1f s (%s)\n' "$elapsed" "$(grep -o 'booted in [0-9.]* s' "$console")"
[ "$passed" -eq "$expected" ] || fail "$passed of $expected scenarios passed on the real kernel"

# The kills together reached every stage.
if [ "$kills" -ge 10 ]; then
  for stage in 9 0 1 2 3; do
    grep -q "killed in stage $stage," "$console" || fail "no kill fell in stage $stage"
  done
fi

# The same package and layout in devsim, checked by the same script.
sim=$work/sim
mkdir -p "$sim/dump"
cp "$case/layout" "$sim/layout"
mkdir -p "$sim/images" && for old in "$case"/images/*.old; do cp "$old" "$sim/images/"; done
"$devsim" init "$sim/root" --layout "$sim/layout" --trust "$keys/signing.public" >/dev/null || fail "devsim init"
"$devsim" register "$sim/root" "$case/full.pkg" >/dev/null || fail "devsim register"
env -u KVR_STANDIN_ENGINE "$devsim" run "$sim/root" >"$sim/run.txt" 2>&1 || { tail -20 "$sim/run.txt"; fail "devsim run"; }
for part in $(awk '$1 == "part" { print $2 }' "$case/expect/full.expect"); do
  "$devsim" dump "$sim/root" "$part" "$sim/dump/$part" >/dev/null || fail "devsim dump $part"
done
sh "$here/check_device.sh" "$case/expect/full.expect" "$sim/dump" "$sim/root/cache" >"$sim/check.txt" ||
  { cat "$sim/check.txt"; fail "devsim does not end as the real kernel does"; }
echo "rig: devsim: the same package ends the same way ($(tail -1 "$sim/check.txt"))"
echo "rig: $passed of $expected scenarios passed on the real kernel"
