#!/usr/bin/env bash
# Every image pair of delta_bench as a whole update through devsim: a package
# of one image partition ("kernel", sized for the larger image) made by
# fotapack with the code transform it chooses, registered and run through the
# device's restarts, the partition then read back and compared with the new
# image. Prints per pair the transform, the package size and the run's time.
# Usage: bench/devsim_pairs.sh [BUILD_DIR [SHIPPED_PAIRS [MADE_PAIRS]]]
#   (default build/native, ../shared/bench-data, build/bench-pairs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
shipped=$(realpath "${2:-../shared/bench-data}")
made=$(realpath "${3:-build/bench-pairs}")
fotapack="$(realpath "$build/tools/fotapack/fotapack")"
devsim="$(realpath "$build/tools/devsim/devsim")"
keys="$(realpath "$build/keys")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

pairs=()
for pair in micropython-esp8266/esp8266-20180511-v1.9.4.bin:micropython-esp8266/esp8266-20190125-v1.10.bin \
            micropython-pybv11/firmware1-v1.10.bin:micropython-pybv11/firmware1-1f5d945af.bin \
            openssl-armhf/libcrypto.so.3-3.0.20:openssl-armhf/libcrypto.so.3-3.0.22; do
  [[ -f $shipped/${pair%%:*} ]] && pairs+=("$shipped/${pair%%:*}:$shipped/${pair#*:}")
done
for dir in "$made"/*/; do
  [[ -f $dir/old && -f $dir/new ]] && pairs+=("${dir}old:${dir}new")
done

failed=0
printf '%-28s %-7s %10s %8s  %s\n' "pair" "code" "package" "run s" "result"
for pair in "${pairs[@]}"; do
  old=${pair%%:*} new=${pair#*:}
  name=$(basename "$(dirname "$new")")
  rm -rf "$work/case" && mkdir -p "$work/case"
  largest=$(( $(stat -c %s "$old") > $(stat -c %s "$new") ? $(stat -c %s "$old") : $(stat -c %s "$new") ))
  size=$(( (largest / 131072 + 2) * 131072 ))
  printf 'kernel 0x%x 0x20000 2048 image=%s\nmisc 0x40000 0x20000 2048\ncache 0x40000 0x20000 2048 mount=/cache\n' \
    "$size" "$old" >"$work/case/layout"
  echo "kernel image $old $new" >"$work/case/manifest"
  "$fotapack" build "$work/case/manifest" "$work/case/update.pkg" --key "$keys/signing.secret" >/dev/null
  mkdir -p "$work/case/members"
  "$fotapack" extract "$work/case/update.pkg" "$work/case/members" >/dev/null
  code=$(python3 - "$work/case/members" <<'PY'
import os, struct, sys
names = {0: "none", 1: "a32", 2: "thumb2", 3: "a64"}
for member in sorted(os.listdir(sys.argv[1])):
    data = open(os.path.join(sys.argv[1], member), "rb").read()
    if data[:4] == b"KVRD":
        print(names.get(struct.unpack_from("<I", data, 48)[0], "?"))
PY
)
  "$devsim" init "$work/case/root" --layout "$work/case/layout" --trust "$keys/signing.public" >/dev/null
  "$devsim" register "$work/case/root" "$work/case/update.pkg" >/dev/null
  start=$(date +%s%N)
  result=ok
  env -u KVR_STANDIN_ENGINE "$devsim" run "$work/case/root" >"$work/case/run.txt" 2>&1 || result="run failed"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  "$devsim" dump "$work/case/root" kernel "$work/case/kernel.bin" >/dev/null
  cmp -s -n "$(stat -c %s "$new")" "$work/case/kernel.bin" "$new" || result="${result/ok/}partition differs from the new image"
  [[ $result == ok ]] || failed=1
  printf '%-28s %-7s %10d %5d.%03d  %s\n' "$name" "$code" "$(stat -c %s "$work/case/update.pkg")" $((ms / 1000)) $((ms % 1000)) "$result"
done
exit "$failed"
