#!/usr/bin/env bash
# Link faults at every step of a whole update, end to end: for each case a
# fresh routersim (on 127.0.0.1, its own ports) misbehaves in one way, the
# console flashdesk updates it with the protocol waits time-scaled, and the
# run must end by itself within its bound, without a signal, with the exit
# status, final text and last progress value the workflow gives for that
# step (and its diagnostic text where it has one). Faults the update
# tolerates must end in "Sucesso!" with exit 0.
#
# Usage: link_fault_campaign.sh FLASHDESK ROUTERSIM [--short] [--scale N] [--keep] [--only TEXT]
#   --short   a representative subset, one case per kind of fault
#   --only TEXT  only the cases whose "STEP FAULT" contains TEXT
#   --scale N FLASHDESK_TIME_SCALE for every run (default 20)
#   --keep    keep the work folder of every case, not only of unexpected ones
# Prints one line per fault and "faults tried N, as expected M, unexpected K";
# exits 1 when any case was unexpected, 2 on bad arguments.
set -uo pipefail

usage() { echo "usage: $0 FLASHDESK ROUTERSIM [--short] [--scale N] [--keep] [--only TEXT]" >&2; exit 2; }
[[ $# -ge 2 ]] || usage
flashdesk=$1 routersim=$2
shift 2
short=0 scale=20 keep=0 only=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --short) short=1 ;;
    --keep) keep=1 ;;
    --only) [[ $# -ge 2 ]] || usage; only=$2; shift ;;
    --scale) [[ $# -ge 2 && $2 =~ ^[0-9]+$ && $2 -ge 1 ]] || usage; scale=$2; shift ;;
    *) usage ;;
  esac
  shift
done
[[ -x $flashdesk && -f $flashdesk ]] || { echo "flashdesk not executable: $flashdesk" >&2; exit 2; }
[[ -x $routersim && -f $routersim ]] || { echo "routersim not executable: $routersim" >&2; exit 2; }
# Each run starts in its own folder.
flashdesk=$(realpath "$flashdesk") routersim=$(realpath "$routersim")

# Seconds every run may take beyond the protocol wait its fault forces.
readonly base_bound=60

# One case: STEP|FAULT|SIMULATOR OPTIONS|TRIGGER|EXPECTED|DIAGNOSTIC TEXT|LIMIT MS
#   TRIGGER   -              nothing
#             sim:TEXT       stop the simulator (closing the link) once its log shows TEXT
#             out:TEXT       stop the simulator once flashdesk's output shows TEXT
#             hold:TEXT^OUT  freeze the simulator (SIGSTOP: it reads nothing more) once
#                            its log shows TEXT, stop it once flashdesk's output shows OUT
#   EXPECTED  ok             exit 0, "Sucesso!", last progress 99 or 100 (the
#                            100 may go straight on to the box unshown)
#             fail@LO-HI     exit 1, "Falha!", last progress before the box in LO..HI
#             ok|fail@LO-HI  either (the outcome depends on when the answer arrives)
#   DIAGNOSTIC TEXT  must be in flashdesk's debug output ("-": none checked)
#   LIMIT MS  a protocol wait that must have passed in full (device ms; 0: none)
state_failed="Get Marvell Modem state failed!"
upgrade_failed="Upgrade marl Modem sw failed!"
user_mode_failed="SwitchToUserModeFromFactoryMode failed!"
steps=(
  "ip-mac|0x40" "modem-state|0x97" "modem-image|0x98" "modem-checksum|0x99" "modem-upgrade|0x90"
  "user-mode|0x96" "linux-image|0x01" "close-factory|0x86" "reboot|0x1F"
)
# What refusing (0xFF) and ignoring each step's request gives. A refused
# CMD_IP_MAC only matters if its answer is there when the host looks.
declare -A refused=(
  [0x40]="ok|fail@1-1|-" [0x97]="fail@1-1|$state_failed" [0x98]="ok|-" [0x99]="ok|-"
  [0x90]="fail@90-90|$upgrade_failed" [0x96]="fail@90-90|$user_mode_failed" [0x01]="fail@95-95|-"
  [0x86]="fail@99-99|-" [0x1F]="ok|-"
)
declare -A ignored=(
  [0x40]="ok|-|0" [0x97]="fail@1-1|$state_failed|100000" [0x98]="ok|-|0" [0x99]="ok|-|0"
  [0x90]="fail@90-90|$upgrade_failed|400000" [0x96]="fail@90-90|$user_mode_failed|100000"
  [0x01]="fail@95-95|-|300000" [0x86]="fail@99-99|-|10000" [0x1F]="ok|-|0"
)
# The link closed while the host is in the step (the simulator closes it
# unanswered when the request arrives, and is then stopped). The host does not wait
# for the CMD_IP_MAC answer, so that drop shows at the modem state or image;
# the checksum file is whole before the simulator logs it, so that drop
# shows at the modem upgrade. A drop inside the Linux image freezes the
# simulator after its user-mode answer and stops it once the host has posted
# the image's start block (93 %): the unread bytes make the host's raw
# writes fail.
declare -A dropped=(
  [0x40]="fail@0-69|-" [0x97]="fail@1-1|$state_failed" [0x99]="fail@90-90|$upgrade_failed"
  [0x90]="fail@90-90|$upgrade_failed" [0x96]="fail@90-90|$user_mode_failed" [0x01]="fail@95-95|-"
  [0x86]="fail@99-99|-" [0x1F]="ok|-"
)
# Slow peer: answers delayed by this much device time (real ms = device ms / scale).
delay_ms() { echo $(( ($1 + scale - 1) / scale )); }

cases=()
add() {
  local step=${1%%|*} rest=${1#*|}
  [[ -z $only || "$step ${rest%%|*}" == *"$only"* ]] && cases+=("$1")
}
full_cases() {
  local entry step type
  for entry in "${steps[@]}"; do
    step=${entry%%|*} type=${entry#*|}
    local r=${refused[$type]} i=${ignored[$type]}
    add "$step|refuse:$type|--link-fault refuse:$type|-|$r|0"
    add "$step|silent:$type|--link-fault silent:$type|-|$i"
    if [[ $type == 0x98 ]]; then
      add "$step|drop-after:1000000|--link-fault drop-after:1000000|-|fail@0-69|-|0"
    elif [[ $type == 0x01 ]]; then
      add "$step|drop mid-transfer|-|hold:-> 0x96^] 93%|fail@93-93|-|0"
      add "$step|drop awaiting result|--link-fault drop:0x01|sim:at 0x01 (drop)|${dropped[$type]}|0"
    else
      add "$step|drop|--link-fault drop:$type|sim:at $type (drop)|${dropped[$type]}|0"
    fi
  done
  # Faults of every answer: the first answer the host checks is the modem
  # state's. Replies are taken by seq alone, and a wrong seq is the next
  # request's: the CMD_IP_MAC answer (seq 2 + 1) is dropped when the download
  # empties the reply queue, but when it comes later it is taken as the modem
  # state's answer (seq 3) and fails the step at once instead of after the
  # 100 s wait, so the wait is not checked.
  add "all|unknown-first|--link-fault unknown-first|-|fail@1-1|$state_failed|0"
  add "all|wrong-seq|--link-fault wrong-seq|-|fail@1-1|$state_failed|0"
  add "all|random:1|--link-fault random:1|-|fail@1-1|$state_failed|100000"
  add "all|random:7|--link-fault random:7|-|fail@1-1|$state_failed|100000"
  add "all|diag-bad-fcs|--link-fault diag-bad-fcs|-|ok|-|0"
  add "all|diag-no-flag|--link-fault diag-no-flag|-|ok|-|0"
  add "all|delay 2s (in limits)|--link-delay $(delay_ms 2000)|-|ok|-|0"
  add "all|delay 30s (>10s close)|--link-delay $(delay_ms 30000)|-|fail@99-99|-|10000"
  add "all|delay 150s (>100s)|--link-delay $(delay_ms 150000)|-|fail@1-1|$state_failed|100000"
}
short_cases() {
  add "ip-mac|silent:0x40|--link-fault silent:0x40|-|ok|-|0"
  add "modem-state|refuse:0x97|--link-fault refuse:0x97|-|fail@1-1|$state_failed|0"
  add "modem-image|drop-after:1000000|--link-fault drop-after:1000000|-|fail@0-69|-|0"
  add "user-mode|silent:0x96|--link-fault silent:0x96|-|fail@90-90|$user_mode_failed|100000"
  add "linux-image|refuse:0x01|--link-fault refuse:0x01|-|fail@95-95|-|0"
  add "linux-image|drop mid-transfer|-|hold:-> 0x96^] 93%|fail@93-93|-|0"
  add "close-factory|silent:0x86|--link-fault silent:0x86|-|fail@99-99|-|10000"
  add "close-factory|drop|--link-fault drop:0x86|sim:at 0x86 (drop)|fail@99-99|-|0"
  add "reboot|refuse:0x1F|--link-fault refuse:0x1F|-|ok|-|0"
  add "all|unknown-first|--link-fault unknown-first|-|fail@1-1|$state_failed|0"
  add "all|wrong-seq|--link-fault wrong-seq|-|fail@1-1|$state_failed|0"
  add "all|delay 2s (in limits)|--link-delay $(delay_ms 2000)|-|ok|-|0"
  add "all|delay 30s (>10s close)|--link-delay $(delay_ms 30000)|-|fail@99-99|-|10000"
}
if [[ $short -eq 1 ]]; then short_cases; else full_cases; fi

root=$(mktemp -d "${TMPDIR:-/tmp}/link_fault_campaign.XXXXXX") || { echo "cannot make a work folder" >&2; exit 2; }
sim="" fd=""
stop_pid() { [[ -n $1 ]] && kill -0 "$1" 2>/dev/null && { kill "$1" 2>/dev/null; kill -CONT "$1" 2>/dev/null; wait "$1" 2>/dev/null; }; }
cleanup() { stop_pid "$fd"; stop_pid "$sim"; }
trap cleanup EXIT
trap 'cleanup; exit 130' INT TERM

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# A TCP port on 127.0.0.1 that nothing listens on or uses at the moment.
free_port() {
  local port _
  for _ in $(seq 50); do
    port=$(( 20000 + RANDOM % 40000 ))
    [[ -z $(ss -Htan "( sport = :$port )" 2>/dev/null) ]] && { echo "$port"; return 0; }
  done
  return 1
}

# The port routersim printed after TEXT, or nothing.
printed_port() { sed -n "s/^$2 127\.0\.0\.1:\([0-9]*\)\$/\1/p" "$1" | head -1; }

# Stops the simulator of the running case; waits up to 5 s, then kills it.
stop_simulator() {
  kill -TERM "$sim" 2>/dev/null
  kill -CONT "$sim" 2>/dev/null
  local _
  for _ in $(seq 100); do kill -0 "$sim" 2>/dev/null || break; sleep 0.05; done
  kill -KILL "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
}

# The last progress value shown before the result box, or nothing.
last_progress() {
  sed -n '/^== /q; s/^\[[#.]*\] \([0-9]*\)%.*/\1/p' "$1" | tail -1
}

tried=0 expected=0 unexpected=0
run_case() {
  local step fault options trigger want text limit
  IFS='|' read -r step fault options trigger want text limit <<<"$1"
  [[ $options == - ]] && options=""
  local alt=""
  # "ok|fail@LO-HI|TEXT|LIMIT": two accepted outcomes.
  if [[ $want == ok && $text == fail@* ]]; then
    alt=$text
    IFS='|' read -r _ _ _ _ _ _ text limit <<<"$1"
  fi
  tried=$((tried + 1))
  local dir
  dir=$root/$(printf '%02d' "$tried")
  mkdir -p "$dir/tmp" "$dir/received"
  local limit_s=$(( (limit + scale * 1000 - 1) / (scale * 1000) ))
  local bound=$(( base_bound + 2 * limit_s ))
  local verdict="" outcome=""

  # shellcheck disable=SC2086 # the options are words on purpose
  "$routersim" --web 127.0.0.1:0 --announce-listen 127.0.0.1:0 --files "$dir/received" --verbose $options \
    >"$dir/sim.out" 2>"$dir/sim.err" &
  sim=$!
  local web="" announce="" _
  for _ in $(seq 100); do
    web=$(printed_port "$dir/sim.out" "routersim web interface on")
    announce=$(printed_port "$dir/sim.out" "routersim link listening for announcements on")
    [[ -n $web && -n $announce ]] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.05
  done
  local listen
  listen=$(free_port)
  if [[ -z $web || -z $announce || -z $listen ]]; then
    stop_simulator
    report "$step" "$fault" unexpected "routersim did not start (see $dir)" 0
    return
  fi

  local start
  start=$(now_ms)
  (cd "$dir" && TMPDIR="$dir/tmp" XDG_STATE_HOME="$dir/state" FLASHDESK_DEBUG=1 FLASHDESK_TIME_SCALE=$scale \
    exec timeout -k 5 "$bound" "$flashdesk" --yes --router "127.0.0.1:$web" --announce "127.0.0.1:$announce" \
    --listen-port "$listen" --host-filter 127.0 --arp-command true >"$dir/out.txt" 2>"$dir/debug.txt") &
  fd=$!
  local fired=0 held=0
  while kill -0 "$fd" 2>/dev/null; do
    if [[ $trigger == hold:* && $held -eq 0 ]]; then
      local hold=${trigger#hold:}
      if grep -qF -- "${hold%%^*}" "$dir/sim.err"; then
        kill -STOP "$sim" 2>/dev/null
        held=1
      fi
    elif [[ $trigger != - && $fired -eq 0 ]]; then
      local where=$dir/sim.err pattern=${trigger#*:}
      [[ $trigger == out:* ]] && where=$dir/out.txt
      [[ $trigger == hold:* ]] && where=$dir/out.txt pattern=${trigger#*^}
      if grep -qF -- "$pattern" "$where"; then
        stop_simulator
        fired=1
      fi
    fi
    sleep 0.05
  done
  wait "$fd"
  local status=$?
  fd=""
  local elapsed=$(( $(now_ms) - start ))
  local seconds
  seconds=$(printf '%d.%d' $((elapsed / 1000)) $(( (elapsed % 1000) / 100 )))
  local sim_alive=0
  kill -0 "$sim" 2>/dev/null && sim_alive=1
  stop_simulator

  local progress
  progress=$(last_progress "$dir/out.txt")
  if [[ $status -eq 124 || $status -eq 137 ]]; then
    verdict=unexpected outcome="hang: no end within ${bound}s"
  elif [[ $status -gt 128 ]]; then
    verdict=unexpected outcome="killed by signal $((status - 128))"
  else
    outcome="exit $status"
    grep -q "^Sucesso!" "$dir/out.txt" && outcome+=" Sucesso!"
    grep -q "^Falha!" "$dir/out.txt" && outcome+=" Falha!"
    outcome+=" at ${progress:-?}%"
    local problems=()
    if [[ $trigger != - && $fired -eq 0 ]]; then problems+=("the link was never closed"); fi
    if [[ $trigger == - && $sim_alive -eq 0 ]]; then problems+=("routersim died"); fi
    if ! matches "$want" "$status" "$progress" "$dir/out.txt" && { [[ -z $alt ]] || ! matches "$alt" "$status" "$progress" "$dir/out.txt"; }; then
      problems+=("wanted $want${alt:+ or $alt}")
    fi
    if [[ $text != - && $status -ne 0 ]] && ! grep -qF -- "$text" "$dir/debug.txt"; then
      problems+=("no \"$text\"")
    fi
    if [[ $limit -gt 0 && $elapsed -lt $(( limit / scale )) ]]; then
      problems+=("ended before the $((limit / 1000))s wait (${elapsed}ms < $((limit / scale))ms)")
    fi
    if [[ ${#problems[@]} -eq 0 ]]; then
      verdict=expected
    else
      verdict=unexpected
      outcome+=" ($(IFS=';'; echo "${problems[*]}"))"
    fi
  fi
  report "$step" "$fault" "$verdict" "$outcome" "$seconds"
  if [[ $verdict == expected && $keep -eq 0 ]]; then rm -rf "$dir"; fi
}

# matches WANT STATUS PROGRESS OUTPUT: WANT is ok or fail@LO-HI.
matches() {
  local want=$1 status=$2 progress=$3 output=$4
  if [[ $want == ok ]]; then
    [[ $status -eq 0 && -n $progress && $progress -ge 99 ]] && grep -q "^Sucesso!" "$output"
    return
  fi
  local range=${want#fail@}
  local lo=${range%-*} hi=${range#*-}
  [[ $status -eq 1 && -n $progress && $progress -ge $lo && $progress -le $hi ]] && grep -q "^Falha!" "$output"
}

report() {
  printf '%-15s %-26s %-10s %-56s %6ss\n' "$1" "$2" "$3" "$4" "$5"
  if [[ $3 == expected ]]; then expected=$((expected + 1)); else unexpected=$((unexpected + 1)); fi
}

printf 'link fault campaign (%s, time scale %s, work folder %s)\n' "$([[ $short -eq 1 ]] && echo short || echo full)" "$scale" "$root"
printf '%-15s %-26s %-10s %-56s %7s\n' step fault verdict outcome time
campaign_start=$(now_ms)
for entry in "${cases[@]}"; do run_case "$entry"; done
total=$(( ($(now_ms) - campaign_start) / 1000 ))
echo "faults tried $tried, as expected $expected, unexpected $unexpected (${total}s)"
if [[ $unexpected -gt 0 ]]; then
  echo "evidence of the unexpected cases kept in $root" >&2
  exit 1
fi
[[ $keep -eq 1 ]] || rm -rf "$root"
exit 0
