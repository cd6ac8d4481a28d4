#!/bin/busybox sh
# The test machine's init: the kernel's NAND simulator with the router's
# named partitions, then every scenario of /rig/case/scenarios: the old
# images written, the package registered, kvr_fota_update started with
# "update" and again without arguments after every restart or kill, as the
# device's start-up does, and the device checked through the kernel.
# Prints "RIG-RESULT: NAME PASS|FAIL ..." per scenario, then "RIG-END".
/bin/busybox --install -s /bin
# The rig's busybox comes first: it adds flash_eraseall.
export PATH=/rig/bin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tracefs tracefs /sys/kernel/tracing 2>/dev/null
mkdir -p /cache /dev/mtd /dev/block /tmp
mount -t tmpfs -o size=96m cache /cache
mount -t tmpfs -o size=160m tmp /tmp
echo "RIG: booted in $(cut -d' ' -f1 /proc/uptime) s"

case_dir=/rig/case
# The router's chip: 128 MiB, 2048-byte pages, 128 KiB erase blocks, 64
# spare bytes per page.
chip="id_bytes=0x20,0xf1,0x00,0x95"
max_starts=12

insmod /rig/modules/mtd_blkdevs.ko && insmod /rig/modules/mtdblock.ko || echo "RIG: mtdblock not loaded"

# Flash operations as the kernel counts them: kprobes on the NAND core's
# block erase and page program.
probes=""
for probe in block_erase:nand_erase_nand page_program:nand_write_page_raw; do
  if echo "p:rig/${probe%%:*} ${probe#*:}" >>/sys/kernel/tracing/kprobe_events 2>/dev/null &&
     echo 1 >"/sys/kernel/tracing/events/rig/${probe%%:*}/enable"; then
    probes="$probes ${probe%%:*}"
  else
    echo "RIG: no kprobe on ${probe#*:}"
  fi
done
# "name=N ..." before and after, as "name +D ...".
count_difference() {
  echo "$1 $2" | awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "=");
    if (kv[1] in first) printf "%s +%d ", kv[1], kv[2] - first[kv[1]]; else first[kv[1]] = kv[2] } }'
}
kernel_counts() {
  for p in $probes; do
    awk -v p="$p" '$1 == p { printf "%s=%s ", p, $2 }' /sys/kernel/tracing/kprobe_profile
  done
}

# Names and sizes of the layout's partitions, for the partition module.
names=$(awk '!/^#/ && NF { printf "%s%s", sep, $1; sep = "," }' "$case_dir/layout")
sizes=$(awk '!/^#/ && NF { printf "%s%s", sep, $2; sep = "," }' "$case_dir/layout")

mtd_number() { awk -v n="\"$1\"" '$4 == n { sub(/^mtd/, "", $1); sub(/:$/, "", $1); print $1 }' /proc/mtd; }

flash_up() {
  faults=$1
  [ "$faults" = - ] && faults=""
  insmod /rig/modules/nandsim.ko $chip $faults || return 1
  insmod /rig/modules/rig_mtdparts.ko names="$names" sizes="$sizes" || return 1
  rm -f /dev/mtd/* /dev/block/*
  for dev in /dev/mtd[0-9]*; do
    case $dev in *ro) continue ;; esac
    n=${dev#/dev/mtd}
    ln -s "$dev" "/dev/mtd/mtd$n"
    ln -s "/dev/mtdblock$n" "/dev/block/mtdblock$n"
  done
  awk '!/^#/ && NF { for (i = 5; i <= NF; i++) if ($i ~ /^image=/) print $1, substr($i, 7) }' "$case_dir/layout" \
    >/tmp/images
  while read -r part image; do
    rig_tool write "/dev/mtd/mtd$(mtd_number "$part")" "$case_dir/$image" || return 1
  done </tmp/images
}

flash_down() {
  rmmod nandsim
  rmmod rig_mtdparts
}

# The N of a kill point: a number, a fraction of the whole update's count of
# that kind, or -K for the Kth from the end (the counts from the first
# scenario, which runs without kills).
kill_point() {
  kind=${1%%:*} at=${1#*:}
  case $at in
    -* | *.*)
      total=$(awk -v k="$kind" '{ split("sys erase write backup shell reboot", names, " ");
                                   for (i = 1; i <= 6; i++) if (names[i] == k) print $i }' /tmp/full_counts)
      at=$(awk -v t="$total" -v a="$at" 'BEGIN { n = a < 0 ? t + a + 1 : int(t * a + 0.5); if (n < 1) n = 1; print n }') ;;
  esac
  echo "$kind:$at"
}

run_scenario() {
  name=$1 package=$2 expect=$3 faults=$4 kill=$5
  echo "RIG: scenario $name: package $package, faults $faults, kill ${kill:--}"
  set_up=$(cut -d' ' -f1 /proc/uptime)
  if ! flash_up "$faults"; then
    echo "RIG-RESULT: $name FAIL the flash could not be set up"
    flash_down
    return
  fi
  rm -rf /cache/* /tmp/counts /tmp/dump
  cp "$case_dir/$package" /cache/update.pkg
  if ! /rig/kvr_fota_register /cache/update.pkg; then
    echo "RIG-RESULT: $name FAIL the package was not registered"
    flash_down
    return
  fi
  # The agent's syscalls are traced (which costs time under emulation) only
  # while they are counted: in the run without kills, whose counts give the
  # kill points their place, and until the kill.
  kill_option=""
  [ -n "$kill" ] && kill_option="--counts /tmp/counts --kill $(kill_point "$kill")"
  [ "$name" = full ] && kill_option="--counts /tmp/counts"
  before=$(kernel_counts)
  started=$(cut -d' ' -f1 /proc/uptime)
  starts=0 arg=update ends="" killed_in=""
  while [ "$starts" -lt "$max_starts" ]; do
    starts=$((starts + 1))
    rig_tool run $kill_option -- /rig/kvr_fota_update $arg >/tmp/run.out 2>&1
    result=$?
    grep '^rig-run: killed' /tmp/run.out
    arg=""
    case $result in
      10) ends="$ends restart" ;;
      11) ends="$ends kill"
          killed_in="stage $(cat /cache/kvr_fota/update.flg 2>/dev/null || echo none)"
          killed_in="$killed_in, partition $(cat /cache/kvr_fota/current_update 2>/dev/null || echo none)"
          kill_option="" ;;
      0) ends="$ends exit"; break ;;
      *) ends="$ends failed($result)"; cat /tmp/run.out; break ;;
    esac
  done
  finished=$(cut -d' ' -f1 /proc/uptime)
  after=$(kernel_counts)
  [ "$name" = full ] && cp /tmp/counts /tmp/full_counts
  mkdir -p /tmp/dump
  awk '$1 == "part" { print $2 }' "$case_dir/expect/$expect" >/tmp/checked
  while read -r part; do
    cat "/dev/mtd/mtd$(mtd_number "$part")" >"/tmp/dump/$part"
  done </tmp/checked
  sh /rig/check_device.sh "$case_dir/expect/$expect" /tmp/dump /cache >/tmp/check.out
  verdict=$?
  checked=$(cut -d' ' -f1 /proc/uptime)
  grep -v '^check: ok' /tmp/check.out
  seconds=$(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", b - a }')
  echo "RIG: $name: flash set up in $(awk -v a="$set_up" -v b="$started" 'BEGIN { printf "%.1f", b - a }') s," \
       "checked in $(awk -v a="$finished" -v b="$checked" 'BEGIN { printf "%.1f", b - a }') s"
  [ -n "$killed_in" ] && echo "RIG: $name: killed in $killed_in"
  echo "RIG: $name: starts:$ends; agent syscalls (sys erase write backup shell reboot): $(cat /tmp/counts 2>/dev/null)"
  echo "RIG: $name: flash operations counted by the kernel: $(count_difference "$before" "$after")"
  if [ "$verdict" -eq 0 ] && [ "${ends##* }" = exit ]; then
    echo "RIG-RESULT: $name PASS $seconds s, $starts starts"
  else
    echo "RIG-RESULT: $name FAIL $seconds s, $starts starts"
    echo "RIG: fatal log of $name:"
    cat /cache/kvr_fota/dua/log_fatal_kvr 2>/dev/null | tail -30
  fi
  flash_down
}

while read -r name package expect faults kill; do
  case $name in '' | '#'*) continue ;; esac
  run_scenario "$name" "$package" "$expect" "$faults" "$kill"
done <"$case_dir/scenarios"
echo "RIG-END"
poweroff -f
