#!/usr/bin/env bash
# Peak resident size and time of whole agent runs through devsim, for image
# partitions of growing size (8, 32 and 64 MiB): the engine's heap is fixed,
# so the agent's memory must not grow with the partition.
# Usage: bench/agent_memory_bench.sh [BUILD_DIR]   (default build/native)
set -euo pipefail
build=${1:-build/native}
fotapack="$build/tools/fotapack/fotapack"
devsim="$build/tools/devsim/devsim"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '%-10s %12s %12s %10s %10s %16s  %s\n' partition "image bytes" "delta bytes" "build s" "update s" "peak resident" "new image"
for mib in 8 32 64; do
  python3 - "$work" "$mib" <<'PY'
import os, random, sys
work, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(mib)
old = bytearray(os.urandom(mib << 20))
new = bytearray(old)
for _ in range(200):
    at = rng.randrange(len(new) - 4096)
    new[at:at + 64] = os.urandom(64)
cut = len(new) // 3
new = new[cut:] + new[:cut]
open(f"{work}/kernel.old", "wb").write(old)
open(f"{work}/kernel.new", "wb").write(new[: len(new) - 70_000])
PY
  size=$(stat -c %s "$work/kernel.old")
  part=$(printf '0x%x' $((size + 0x40000)))
  {
    echo "kernel $part 0x20000 2048 image=kernel.old"
    echo "misc 0x40000 0x20000 2048"
    echo "cache $(printf '0x%x' $((size + 0x400000))) 0x20000 2048 mount=/cache"
  } >"$work/layout"
  echo "kernel image kernel.old kernel.new" >"$work/manifest"
  start=$(date +%s.%N)
  "$fotapack" build "$work/manifest" "$work/update.pkg" --key "$build/keys/signing.secret" >/dev/null
  built=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }")
  rm -rf "$work/root"
  "$devsim" init "$work/root" --layout "$work/layout" --trust "$build/keys/signing.public" >/dev/null
  "$devsim" register "$work/root" "$work/update.pkg" >/dev/null
  start=$(date +%s.%N)
  env -u KVR_STANDIN_ENGINE "$devsim" run "$work/root" >"$work/run.txt"
  ran=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }")
  peak=$(sed -n 's/^  peak resident size of a start: \([0-9]*\) KiB/\1/p' "$work/run.txt")
  "$devsim" dump "$work/root" kernel "$work/kernel.dump" >/dev/null
  same=no
  cmp -s -n "$(stat -c %s "$work/kernel.new")" "$work/kernel.dump" "$work/kernel.new" && same=yes
  printf '%-10s %12d %12d %10s %10s %12s KiB  %s\n' "${mib} MiB" "$size" "$(stat -c %s "$work/update.pkg")" "$built" "$ran" "$peak" "$same"
done
echo "(update s: devsim run, all starts of the agent with their restarts; peak resident: the largest start)"
