#!/usr/bin/env bash
# The long kill campaign on the real kernel: the device build of
# kvr_fota_update in qemu-system-arm on the kernel's NAND simulator, killed
# (SIGKILL) at KILLS points of a whole update drawn with SEED (a new seed
# unless one is given; printed, so that a run can be repeated), each followed
# by the restart loop and checked on the target. Prints the machine's boot
# time, each scenario's update time and the flash operations that the
# kernel counted.
# Usage: bench/device_rig_kill_campaign.sh [KILLS [SEED]]   (default 40 kills)
# Needs the native and arm builds (make build-arm).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-40}
seed=${2:-$(od -An -N2 -tu2 /dev/urandom | tr -d ' ')}
arm=$here/build/arm native=$here/build/native
KVR_KEY_DIR=$native/keys exec "$here/tests/device_rig/run_rig.sh" "$arm/tests/device_rig/files" \
  "$arm/agent/kvr_fota_update" "$arm/agent/kvr_fota_register" "$arm/tests/device_rig/rig_tool" \
  "$native/tools/fotapack/fotapack" "$native/tools/devsim/devsim" \
  --kills "$kills" --seed "$seed" --limit $((120 + kills * 20))
