#!/usr/bin/env bash
# One whole update with flashdesk's real defaults (router 192.168.1.1:80,
# announcement to 255.255.255.255:3536, host filter "192.168", listen port
# 4536, the platform's ARP flush) inside two network namespaces that this test
# makes and joins with a veth pair: the PC at 192.168.1.100, the router
# simulator at 192.168.1.1. Nothing here touches the machine's own network.
# Exits 77 (skipped) where namespaces cannot be made.
# Usage: netns_update_test.sh FLASHDESK ROUTERSIM FIRMWARE_DIR
set -uo pipefail
flashdesk=$1 routersim=$2 firmware=$3
skip() { echo "SKIP: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "making network namespaces needs root"
command -v ip >/dev/null || skip "no ip command"

pc="fd-pc-$$" router="fd-router-$$"
work="$(mktemp -d)"
sim=""
cleanup() {
  [[ -n "$sim" ]] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  ip netns del "$pc" 2>/dev/null
  ip netns del "$router" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$pc" 2>/dev/null || skip "cannot make a network namespace here"
ip netns add "$router" || skip "cannot make a second network namespace here"
# The pair is made inside the PC's namespace with its peer placed straight
# into the router's, so neither end ever exists in the machine's namespace.
ip -n "$pc" link add veth-pc type veth peer name veth-router netns "$router" || skip "cannot make a veth pair here"
ip -n "$pc" addr add 192.168.1.100/24 dev veth-pc
ip -n "$router" addr add 192.168.1.1/24 dev veth-router
for ns in "$pc" "$router"; do ip -n "$ns" link set lo up; done
ip -n "$pc" link set veth-pc up
ip -n "$router" link set veth-router up
# The limited broadcast leaves through the default route.
ip -n "$pc" route add default dev veth-pc

fail() { echo "FAIL: $*" >&2; cat "$work/sim.log" >&2; exit 1; }
mkdir -p "$work/received" "$work/tmp"
ROUTERSIM_NETNS="$(readlink /proc/self/ns/net)" ip netns exec "$router" "$routersim" --web 192.168.1.1:80 --announce-listen 0.0.0.0:3536 \
  --files "$work/received" --verbose >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q "routersim web interface on" "$work/sim.log" && break
  sleep 0.05
done
grep -q "routersim web interface on" "$work/sim.log" || fail "routersim did not start in its namespace"

(cd "$work" && ip netns exec "$pc" env TMPDIR="$work/tmp" FLASHDESK_TIME_SCALE=20 timeout 240 "$flashdesk" --yes \
  >"$work/out.txt" 2>&1)
status=$?
[[ $status -eq 0 ]] || { tail -20 "$work/out.txt" >&2; fail "flashdesk exited with $status"; }
grep -q "Sucesso!" "$work/out.txt" || fail "no success text"
grep -q "192.168.1.100" "$work/sim.log" || fail "the router never heard of the PC's address"
for pair in modem-image:fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz modem-checksum:fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum \
            linux-image:root_uImage; do
  kind=${pair%%:*} source=${pair#*:}
  got=("$work"/received/*-"$kind".bin)
  [[ ${#got[@]} -eq 1 && -f "${got[0]}" ]] || fail "no single $kind received"
  cmp -s "${got[0]}" "$firmware/$source" || fail "$kind differs from $source"
done
echo "update with the real defaults inside network namespaces: exit 0, Sucesso!, 3 files identical"
