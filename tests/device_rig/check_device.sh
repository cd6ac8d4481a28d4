#!/bin/sh
# What a device holds after an update, against an expectation file of
# make_case.py; the same check for the rig's real kernel (busybox sh, inside
# the test machine) and for devsim (the build machine's sh).
#   part NAME SHA256 LABEL        the partition's dump hashes to SHA256 (its
#                                 image and erased flash after it)
#   part NAME any LABEL           not checked
#   file PATH TEXT                the /cache file holds exactly TEXT
#   present PATH / absent PATH    a /cache file exists / does not
#   fatal TEXT                    a line of the fatal log holds TEXT
# Usage: check_device.sh EXPECT DUMPS CACHE
# DUMPS holds one file per partition, named as the partition (devsim: a
# folder for a file-system partition); CACHE is the device's /cache folder. Prints one line per check and "verdict: PASS" or
# "verdict: FAIL (N)"; exit status 0 only on PASS.
set -f
expect=$1 dumps=$2 cache=$3
failures=0
ok() { echo "check: ok   $*"; }
bad() { echo "check: FAIL $*"; failures=$((failures + 1)); }

check_part() {
  name=$1 hash=$2
  shift 2
  label=$*
  dump=$dumps/$name
  # devsim keeps a file-system partition as a folder, not as flash.
  if [ -d "$dump" ]; then ok "$name: a folder on this device, not flash"; return; fi
  if [ ! -f "$dump" ]; then bad "$name: no dump"; return; fi
  if [ "$hash" = any ]; then ok "$name: not checked ($label)"; return; fi
  got=$(sha256sum <"$dump" | cut -d' ' -f1)
  if [ "$got" != "$hash" ]; then bad "$name does not hold the $label followed by erased flash"; return; fi
  ok "$name: $label"
}

while read -r what rest; do
  set -- $rest
  case $what in
    '' | '#'*) ;;
    part) check_part "$@" ;;
    file)
      if [ -f "$cache/$1" ] && printf %s "$2" | cmp -s - "$cache/$1"; then ok "$1 holds \"$2\""
      else bad "$1 does not hold \"$2\" (it holds \"$(cat "$cache/$1" 2>/dev/null)\")"; fi ;;
    present)
      if [ -e "$cache/$1" ]; then ok "$1 exists"; else bad "$1 is missing"; fi ;;
    absent)
      if [ -e "$cache/$1" ]; then bad "$1 is still there"; else ok "$1 is gone"; fi ;;
    fatal)
      if grep -qF "$rest" "$cache/kvr_fota/dua/log_fatal_kvr" 2>/dev/null; then ok "fatal log: $rest"
      else bad "fatal log has no line with \"$rest\""; fi ;;
    *) bad "unknown expectation: $what $rest" ;;
  esac
done <"$expect"

if [ "$failures" -eq 0 ]; then echo "verdict: PASS"; exit 0; fi
echo "verdict: FAIL ($failures)"
exit 1
