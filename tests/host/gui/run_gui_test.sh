#!/usr/bin/env bash
# Runs one scenario of gui_driver.exe under Wine on its own virtual X server.
# Usage: run_gui_test.sh XVFB_RUN WINE WINESERVER DRIVER FLASHDESK ARTIFACTS SCENARIO [ROUTERSIM]
# WINEPREFIX comes from the environment. With ROUTERSIM, the router simulator
# plays the router on loopback for the scenario: its web interface on
# 127.0.0.1:18181, its link side waiting for flashdesk's announcement on
# 127.0.0.1:13536, the files it receives kept in ARTIFACTS/received-SCENARIO.
# The prefix's server is waited for before and after, so that scenarios never
# share a Wine desktop whose X server has gone.
set -uo pipefail
xvfb_run=$1 wine=$2 wineserver=$3 driver=$4 flashdesk=$5 artifacts=$6 scenario=$7 routersim=${8:-}

timeout 20 "$wineserver" -w
sim=""
if [[ -n "$routersim" ]]; then
  received="$artifacts/received-$scenario"
  rm -rf "$received" && mkdir -p "$received"
  simlog="$artifacts/routersim-$scenario.log"
  "$routersim" --web 127.0.0.1:18181 --announce-listen 127.0.0.1:13536 --files "$received" --verbose >"$simlog" 2>&1 &
  sim=$!
  for _ in $(seq 100); do
    grep -q "routersim web interface on" "$simlog" && break
    sleep 0.05
  done
  grep -q "routersim web interface on" "$simlog" || { cat "$simlog"; echo "routersim did not start" >&2; kill "$sim"; exit 1; }
  export FLASHDESK_GUI_ROUTER=127.0.0.1:18181 FLASHDESK_GUI_RECEIVED="$received"
fi
timeout 130 "$xvfb_run" -a -s "-screen 0 1024x768x24" "$wine" "$driver" "$flashdesk" "$artifacts" "$scenario"
result=$?
timeout 20 "$wineserver" -w
if [[ -n "$sim" ]]; then
  kill "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
fi
if [[ $result -ne 0 ]]; then
  echo "gui_driver $scenario: $result" >&2
  exit 1
fi
