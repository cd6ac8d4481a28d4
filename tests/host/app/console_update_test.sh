#!/usr/bin/env bash
# The console flashdesk updates the router simulator end to end on loopback:
# exit status 0, the success text, the work folder removed, and the simulator
# holding the modem image, its checksum and the Linux image byte for byte as
# carried (and nothing else: uboot.img is never sent). It runs with
# --language 0: English instructions and labels, and the rate and time left
# of a transfer on the status line, never after the update has ended.
# Usage: console_update_test.sh FLASHDESK ROUTERSIM FIRMWARE_DIR
set -uo pipefail
flashdesk=$1 routersim=$2 firmware=$3
work="$(mktemp -d)"
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/received" "$work/tmp"
"$routersim" --web 127.0.0.1:18282 --announce-listen 127.0.0.1:13737 --files "$work/received" --verbose >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q "routersim web interface on" "$work/sim.log" && break
  sleep 0.05
done

fail() { echo "FAIL: $*" >&2; cat "$work/sim.log" >&2; exit 1; }
(cd "$work" && TMPDIR="$work/tmp" XDG_STATE_HOME="$work/state" FLASHDESK_TIME_SCALE=20 timeout 240 "$flashdesk" --yes --language 0 --router 127.0.0.1:18282 \
  --announce 127.0.0.1:13737 --listen-port 14737 --host-filter 127.0 --arp-command true >"$work/out.txt" 2>&1)
status=$?
[[ $status -eq 0 ]] || { tail -20 "$work/out.txt" >&2; fail "flashdesk exited with $status"; }
grep -q "Sucesso!" "$work/out.txt" || fail "no success text"
grep -q "^Follow these steps to update your router:$" "$work/out.txt" || fail "no English instructions"
grep -q "| Version: " "$work/out.txt" || fail "no English version label"
grep -Eq "\| [0-9]+\.[0-9] MB/s, [0-9]+:[0-9]{2} left$" "$work/out.txt" || fail "no transfer rate"
sed -n '/Sucesso!/,$p' "$work/out.txt" | grep -q "MB/s" && fail "a transfer rate after the update"
[[ ! -e "$work/tmp/KR880+NewVersion" ]] || fail "work folder left behind"
kept=$(sed -n 's/^Registros desta execucao guardados em //p' "$work/out.txt")
[[ $kept == "$work/state/flashdesk/logs/"* && -f $kept/diagnostics.txt ]] || fail "no kept logs named at the end: '$kept'"
expect() {
  local kind=$1 source=$2
  local got=("$work"/received/*-"$kind".bin)
  [[ ${#got[@]} -eq 1 && -f "${got[0]}" ]] || fail "no single $kind received"
  cmp -s "${got[0]}" "$firmware/$source" || fail "$kind differs from $source"
}
expect modem-image fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz
expect modem-checksum fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum
expect linux-image root_uImage
count=$(ls "$work/received" | wc -l)
[[ $count -eq 3 ]] || fail "$count files received, expected 3"
echo "console update against routersim: exit 0, Sucesso!, English texts, transfer rate, work folder removed, 3 files identical"
