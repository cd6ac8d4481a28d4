#!/usr/bin/env bash
# Time and peak resident size of the signature check of a 64 MiB package:
# kvr_fota_register_sim (the header check, then the signature streamed
# through its small buffer) on a simulated device that trusts the build-time
# key, for the native build and, when ARM_BUILD_DIR is given, the ARM build
# under qemu-arm (its resident size includes the emulator's own).
# Usage: bench/package_verify_bench.sh [BUILD_DIR] [ARM_BUILD_DIR]   (default build/native)
set -euo pipefail
build=${1:-build/native}
arm_build=${2:-}
fotapack="$build/tools/fotapack/fotapack"
devsim="$build/tools/devsim/devsim"
keys="$build/keys"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

head -c $((64 << 20)) /dev/urandom >"$work/payload"
echo "pre payload" >"$work/manifest"
"$fotapack" build "$work/manifest" "$work/update.pkg" --key "$keys/signing.secret"
"$devsim" init "$work/root" --trust "$keys/signing.public" >/dev/null
cp "$work/update.pkg" "$work/root/cache/update.pkg"

# Runs the command; prints "SECONDS PEAK_KIB STATUS" (GNU time: its own small
# image is what the child starts from).
measure() {
  /usr/bin/time -f '%e %M %x' -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt"
}

printf '%-22s %12s %10s %16s %s\n' build "package bytes" "seconds" "peak resident" "registered"
run() {
  local name=$1
  shift
  rm -f "$work/root/cache/kvr_fota/dua/update_status"
  read -r seconds peak status < <(KVR_FOTA_ROOT="$work/root" measure "$@" /cache/update.pkg)
  printf '%-22s %12d %10s %12s KiB %s\n' "$name" "$(stat -c %s "$work/update.pkg")" "$seconds" "$peak" \
    "$([[ $status == 0 ]] && echo "yes (status $(cat "$work/root/cache/kvr_fota/dua/update_status"))" || echo "no ($status)")"
}
run native "$build/agent/kvr_fota_register_sim"
[[ -n "$arm_build" ]] && run "ARM under qemu-arm" qemu-arm "$arm_build/agent/kvr_fota_register_sim"
echo "(the whole registration: header check, signature check of every byte, status and path files)"
