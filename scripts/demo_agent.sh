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
keys="$build/keys"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bash scripts/sample_partitions.sh "$work"

echo "== fotapack: one package for $(grep -c ' image ' "$work/manifest") image partitions and $(grep -c ' fs ' "$work/manifest") file-system partitions =="
start=$(date +%s.%N)
"$fotapack" build "$work/manifest" "$work/update.pkg"
echo "  built $(stat -c %s "$work/update.pkg") bytes in $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }") s"
echo
echo "== fotapack: the package signed with the firmware's key (made at build time in $keys) =="
"$fotapack" sign "$work/update.pkg" --key "$keys/signing.secret"
"$fotapack" verify "$work/update.pkg" --public "$keys/signing.public" | sed 's/^/  /'
echo
echo "== devsim: a simulated router with the old images and files, the package registered, the agent through its restarts =="
"$devsim" init "$work/root" --layout "$work/layout" --trust "$keys/signing.public" >/dev/null
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
    read -r size changed same < <(python3 scripts/folder_trees.py summary "$work/old/$name" "$work/new/$name" "$work/$name.dump")
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
done < <("$fotapack" list "$work/update.pkg" | grep '\.mld ')
exit "$status"
