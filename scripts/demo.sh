#!/usr/bin/env bash
# One whole update in the console flashdesk: the router simulator plays the
# router's web interface on loopback; its link side and the download service
# are still played by flashdesk's built-in stand-in. Every endpoint points at
# loopback and the ARP cache flush does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

export FLASHDESK_TIME_SCALE="${FLASHDESK_TIME_SCALE:-2}"
web_port="${DEMO_WEB_PORT:-18080}"
log="$(mktemp)"
build/native/tools/routersim/routersim --web "127.0.0.1:${web_port}" --announce-listen 127.0.0.1:0 --verbose >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do
  grep -q "routersim web interface on" "$log" && break
  sleep 0.05
done
grep -q "routersim web interface on" "$log" || { cat "$log"; echo "routersim did not start" >&2; exit 1; }

status=0
build/native/host/app/console/flashdesk --standin-router --yes \
  --router "127.0.0.1:${web_port}" --announce 127.0.0.1:13536 --listen-port 14536 --host-filter 127.0 \
  --arp-command true || status=$?
echo
echo "routersim saw:"
grep -c "goformId=SwitchFactoryMode&SwitchCMD=Query" "$log" | sed 's/^/  mode queries:   /'
grep -c "goformId=GetVersion" "$log" | sed 's/^/  version reads:  /'
grep -c "goformId=SwitchFactoryMode&SwitchCMD=Open" "$log" | sed 's/^/  factory switch: /'
exit "$status"
