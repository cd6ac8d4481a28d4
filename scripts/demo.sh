#!/usr/bin/env bash
# Both halves of the product on the built-in simulators. First one whole
# router update in the console flashdesk against the router simulator, all
# on loopback: its web interface answers the mode switch, its
# link side connects back to flashdesk's server when it hears the
# announcement, takes the modem and Linux images (checking the MD5 and the
# U-Boot CRCs) and restarts. The ARP cache flush does nothing. Then the
# agent applies an update package on a simulated router (demo_agent.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

export FLASHDESK_TIME_SCALE="${FLASHDESK_TIME_SCALE:-4}"
web_port="${DEMO_WEB_PORT:-18080}"
announce_port="${DEMO_ANNOUNCE_PORT:-13536}"
listen_port="${DEMO_LISTEN_PORT:-14536}"
work="$(mktemp -d)"
log="$work/routersim.log"
mkdir -p "$work/received"
${BUILD_DIR:-build/native}/tools/routersim/routersim --web "127.0.0.1:${web_port}" --announce-listen "127.0.0.1:${announce_port}" \
  --files "$work/received" --verbose >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  grep -q "routersim web interface on" "$log" && break
  sleep 0.05
done
grep -q "routersim web interface on" "$log" || { cat "$log"; echo "routersim did not start" >&2; exit 1; }

status=0
(cd "$work" && TMPDIR="$work" "$OLDPWD/${BUILD_DIR:-build/native}/host/app/console/flashdesk" --yes \
  --router "127.0.0.1:${web_port}" --announce "127.0.0.1:${announce_port}" --listen-port "$listen_port" \
  --host-filter 127.0 --arp-command true) || status=$?
echo
echo "routersim saw:"
grep -c "goformId=SwitchFactoryMode&SwitchCMD=Open" "$log" | sed 's/^/  factory switches: /' || true
for file in "$work"/received/*; do
  [[ -e "$file" ]] || continue
  printf '  received %-28s %10d bytes  md5 %s\n' "$(basename "$file")" "$(stat -c %s "$file")" "$(md5sum <"$file" | cut -d' ' -f1)"
done
grep -E "MD5|CRC" "$log" | sed 's/^.*link: /  /' || true
[[ $status -eq 0 ]] || exit "$status"

echo
echo "######## The router's side: kvr_fota_update applies an update package ########"
bash scripts/demo_agent.sh

if [[ "${DEMO_GUI:-0}" == 1 ]]; then
  echo
  echo "######## The window: flashdesk.exe under Wine and Xvfb updates the router simulator ########"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  ctest --preset windows -R 'wine_prefix|gui_flashdesk_update'
  echo "screenshots: build/windows/tests/host/gui/screenshots/"
fi
