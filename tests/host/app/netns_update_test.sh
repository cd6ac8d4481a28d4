#!/usr/bin/env bash
# One whole update with flashdesk's real defaults (router 192.168.1.1:80,
# announcement to 255.255.255.255:3536, host filter "192.168", listen port
# 4536, the platform's ARP flush) inside network namespaces that this test
# makes and joins with veth pairs: the PC, the router simulator at
# 192.168.1.1 behind the PC's LAN adapter, and for the other adapters a
# namespace each at the far end. Nothing here touches the machine's own
# network. Exits 77 (skipped) where namespaces cannot be made.
#
# SCENARIO is the PC's adapters in the order they are made (the order the
# system lists them), comma-separated:
#   lan    192.168.1.100/24, to the router
#   wifi   192.168.0.100/24, with the default route (a Wi-Fi on another
#          private network)
#   other  192.168.2.100/24
# or one of these:
#   firewall    on wifi,lan, the PC drops TCP port 4536 (nftables, in the PC's namespace):
#               the run ends as a failure, with the hint and its kept logs
#   no-address  on lan alone, which has 10.1.1.100/24 and reaches the router's
#               web interface on-link: nothing passes the filter, the hint
#               comes at once
# Usage: netns_update_test.sh FLASHDESK ROUTERSIM FIRMWARE_DIR [SCENARIO]
set -uo pipefail
flashdesk=$1 routersim=$2 firmware=$3 scenario=${4:-lan}
skip() { echo "SKIP: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "making network namespaces needs root"
command -v ip >/dev/null || skip "no ip command"

adapters=$scenario expect=success
case $scenario in
  firewall) adapters=wifi,lan expect=firewall ;;
  no-address) adapters=lan expect=no-address ;;
esac

pc="fd-pc-$$" router="fd-router-$$"
namespaces=("$pc" "$router")
work="$(mktemp -d)"
sim=""
cleanup() {
  [[ -n "$sim" ]] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  for ns in "${namespaces[@]}"; do ip netns del "$ns" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$pc" 2>/dev/null || skip "cannot make a network namespace here"
ip netns add "$router" || skip "cannot make a second network namespace here"
ip -n "$pc" link set lo up
ip -n "$router" link set lo up

# Each pair is made inside the PC's namespace with its peer placed straight
# into the far namespace, so neither end ever exists in the machine's.
IFS=, read -ra order <<<"$adapters"
for adapter in "${order[@]}"; do
  case $adapter in
    lan)
      ip -n "$pc" link add veth-lan type veth peer name veth-router netns "$router" || skip "cannot make a veth pair here"
      if [[ $expect == no-address ]]; then
        ip -n "$pc" addr add 10.1.1.100/24 dev veth-lan
        ip -n "$router" addr add 10.1.1.1/24 dev veth-router
      else
        ip -n "$pc" addr add 192.168.1.100/24 dev veth-lan
      fi
      ip -n "$router" addr add 192.168.1.1/24 dev veth-router
      ip -n "$pc" link set veth-lan up
      ip -n "$router" link set veth-router up
      [[ $expect == no-address ]] && ip -n "$pc" route add 192.168.1.0/24 dev veth-lan
      ;;
    wifi | other)
      far="fd-$adapter-$$" net=0
      [[ $adapter == other ]] && net=2
      ip netns add "$far" || skip "cannot make a namespace for $adapter"
      namespaces+=("$far")
      ip -n "$pc" link add "veth-$adapter" type veth peer name veth-far netns "$far" || skip "cannot make a veth pair here"
      ip -n "$pc" addr add "192.168.$net.100/24" dev "veth-$adapter"
      ip -n "$far" addr add "192.168.$net.1/24" dev veth-far
      ip -n "$pc" link set "veth-$adapter" up
      ip -n "$far" link set veth-far up
      ;;
    *) echo "FAIL: unknown adapter $adapter" >&2; exit 1 ;;
  esac
done
# The default route (and with it the limited broadcast, unless the socket
# is bound) leaves by the Wi-Fi when there is one.
if [[ ,$adapters, == *,wifi,* ]]; then
  ip -n "$pc" route add default via 192.168.0.1 dev veth-wifi
else
  ip -n "$pc" route add default dev veth-lan
fi
if [[ $expect == firewall ]]; then
  command -v nft >/dev/null || skip "no nft command"
  ip netns exec "$pc" nft -f - <<'EOF' || skip "nftables does not work in a namespace here"
table inet pc_firewall {
  chain input {
    type filter hook input priority 0; policy accept;
    tcp dport 4536 drop
  }
}
EOF
fi
echo "PC adapters (scenario $scenario):"
ip -n "$pc" -brief addr show | sed 's/^/  /'

fail() { echo "FAIL: $*" >&2; cat "$work/sim.log" >&2; exit 1; }
# The session log is written only where the current folder has "Logs".
mkdir -p "$work/received" "$work/tmp" "$work/state" "$work/Logs"
ROUTERSIM_NETNS="$(readlink /proc/self/ns/net)" ip netns exec "$router" "$routersim" --web 192.168.1.1:80 --announce-listen 0.0.0.0:3536 \
  --files "$work/received" --verbose >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q "routersim web interface on" "$work/sim.log" && break
  sleep 0.05
done
grep -q "routersim web interface on" "$work/sim.log" || fail "routersim did not start in its namespace"

# A failed run waits through its 1000 port attempts: faster there.
scale=20
[[ $expect != success ]] && scale=50
(cd "$work" && ip netns exec "$pc" env TMPDIR="$work/tmp" XDG_STATE_HOME="$work/state" FLASHDESK_TIME_SCALE=$scale FLASHDESK_DEBUG=1 \
  timeout 240 "$flashdesk" --yes >"$work/out.txt" 2>"$work/debug.txt")
status=$?
show() { tail -20 "$work/out.txt" >&2; grep -E "device ip|route to router|announcing|get host ip" "$work/debug.txt" | tail -8 >&2; }

kept=$(sed -n 's/^Registros desta execucao guardados em //p' "$work/out.txt")
[[ -n $kept && -f $kept/diagnostics.txt ]] || { show; fail "no kept logs named at the end"; }
[[ $kept == "$work/state/flashdesk/logs/"* ]] || fail "kept logs outside XDG_STATE_HOME: $kept"
ls "$kept"/*_Port.txt "$kept"/Log_*.txt >/dev/null 2>&1 || fail "the kept folder lacks the port or session log: $(ls "$kept")"

case $expect in
  success)
    [[ $status -eq 0 ]] || { show; fail "flashdesk exited with $status"; }
    grep -q "Sucesso!" "$work/out.txt" || fail "no success text"
    grep -q "192.168.1.100" "$work/sim.log" || fail "the router never heard of the PC's LAN address"
    ! grep -qE "192\.168\.[02]\.100" "$work/sim.log" || fail "the router heard another adapter's address"
    grep -q "route to router 192.168.1.1 leaves by 192.168.1.100 (adapter veth-lan)" "$kept/diagnostics.txt" ||
      fail "the kept diagnostics do not give the choice and its reason"
    for pair in modem-image:fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz modem-checksum:fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum \
                linux-image:root_uImage; do
      kind=${pair%%:*} source=${pair#*:}
      got=("$work"/received/*-"$kind".bin)
      [[ ${#got[@]} -eq 1 && -f "${got[0]}" ]] || fail "no single $kind received"
      cmp -s "${got[0]}" "$firmware/$source" || fail "$kind differs from $source"
    done
    echo "scenario $scenario: exit 0, Sucesso!, the router heard 192.168.1.100 only, 3 files identical, logs kept in $kept"
    ;;
  firewall | no-address)
    [[ $status -eq 1 ]] || { show; fail "flashdesk exited with $status, not 1"; }
    grep -q "Falha!" "$work/out.txt" || fail "no failure text"
    attempts=$(grep -c "before call InitPort(" "$work/debug.txt")
    [[ $attempts -eq 1000 ]] || fail "$attempts port attempts, not 1000"
    if [[ $expect == firewall ]]; then
      hint="O roteador nao se conectou a este PC. Verifique o firewall (permita este programa, porta TCP 4536), o cabo de rede e o endereco anunciado 192.168.1.100 (adaptador veth-lan)."
      grep -q "192.168.1.100" "$work/sim.log" || fail "the router never heard the announcement"
      # The hint follows a minute of attempts, 500 ms apart: not before the 100th.
      before=$(grep -E "before call InitPort\(|Verifique o firewall" "$work/debug.txt" | grep -m1 -B1 "Verifique o firewall" | head -1)
      number=$(sed -n 's/.*InitPort(\([0-9]*\)).*/\1/p' <<<"$before")
      [[ -n $number && $number -ge 100 && $number -le 130 ]] || fail "the hint came after attempt '${number}', not after a minute"
    else
      hint='Nenhum endereco deste PC contem "192.168": o PC nao tem endereco na rede do roteador. Verifique o cabo de rede e a configuracao do adaptador.'
      first=$(grep -E "before call InitPort\(|Nenhum endereco" "$work/debug.txt" | grep -m1 -B1 "Nenhum endereco" | head -1)
      [[ $first == *"InitPort(1)"* ]] || fail "the no-address hint did not come with the first attempt: $first"
    fi
    grep -qF "$hint" "$work/out.txt" || { show; fail "the status line never showed the hint"; }
    grep -qF "$hint" "$kept/diagnostics.txt" || fail "the kept diagnostics lack the hint"
    echo "scenario $scenario: exit 1 after 1000 attempts, Falha!, the hint shown and kept in $kept"
    ;;
esac
