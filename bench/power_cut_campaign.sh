#!/usr/bin/env bash
# The long power-cut campaign: the sample package of every partition of both
# partition tables (12 image partitions, 4 file-system partitions, the
# scripts' state files included) cut by devsim campaign at every flash
# operation and every file operation of the whole update, each run followed
# by the restart loop. Prints every cut's outcome and the counts; fails when a
# run ends badly (a mixture of old and new, a lost package state, a loop).
# Usage: bench/power_cut_campaign.sh [BUILD_DIR] [STEP]   (default build/native, 1)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
step=${2:-1}
fotapack="$(realpath "$build/tools/fotapack/fotapack")"
devsim="$(realpath "$build/tools/devsim/devsim")"
keys="$(realpath "$build/keys")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bash scripts/sample_partitions.sh "$work"
(cd "$work" && "$fotapack" build manifest update.pkg --key "$keys/signing.secret") >/dev/null
start=$(date +%s)
status=0
env -u KVR_STANDIN_ENGINE "$devsim" campaign "$work/layout" "$work/update.pkg" "$work/expected" \
  --step "$step" --file-step "$step" --work "$work/runs" --trust "$keys/signing.public" >"$work/campaign.txt" 2>&1 || status=$?
grep -vE 'target reached \(' "$work/campaign.txt" || true
echo "wall time $(($(date +%s) - start)) s"
exit "$status"
