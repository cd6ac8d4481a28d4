#!/usr/bin/env bash
# Runs the console flashdesk through one whole update against the built-in
# stand-in router. Every endpoint points at loopback; the stand-in router
# itself sends nothing over the network.
set -euo pipefail
cd "$(dirname "$0")/.."

export FLASHDESK_TIME_SCALE="${FLASHDESK_TIME_SCALE:-2}"
exec build/native/host/app/console/flashdesk --standin-router --yes \
  --router 127.0.0.1:18080 --announce 127.0.0.1:13536 --listen-port 14536 --host-filter 127.0 \
  --arp-command true
