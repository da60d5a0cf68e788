#!/bin/sh
# /init of the kernel test's guest: loads the USB HID stack, plays the
# receiver with zelkor-gadget (and once with zelkor-uhid), runs zelkor-ctl
# against it and checks output, exit status and trace. The result goes out as
# one sentinel line on the console; the guest always powers off.
export PATH=/bin
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev 2>/dev/null
exec </dev/console >/dev/console 2>&1
mkdir -p /tmp && mount -t tmpfs tmpfs /tmp

PASS=0
AS=              # run zelkor-ctl as this user when set
FAIL=0
W=/tmp/w          # one scenario's files: out, trace, rc, dev.log
GADGET=
OTHER=

log() { echo "kernel-test: $*"; }

# Centiseconds since boot.
now_cs() {
  read -r up _ </proc/uptime
  echo $(( ${up%.*} * 100 + $(echo "${up#*.}" | sed 's/^0//') ))
}

# Waits up to $2 tenths of a second for the command in $1 to succeed.
wait_for() {
  i=0
  while [ "$i" -lt "$2" ]; do
    eval "$1" >/dev/null && return 0
    usleep 100000
    i=$((i + 1))
  done
  echo "timed out waiting for: $1"
  return 1
}

# The hidraw node whose HID device has vendor $1 (upper-case hex, 4 digits).
hidraw_of() {
  for n in /sys/class/hidraw/hidraw*; do
    [ -e "$n/device/uevent" ] || continue
    grep -q "^HID_ID=....:0000$1:" "$n/device/uevent" && { basename "$n"; return 0; }
  done
  return 1
}
receiver_node() { hidraw_of 04D8; }

start_gadget() {
  : >$W/dev.log
  zelkor-gadget --log $W/dev.log --lifetime 60 "$@" &
  GADGET=$!
  wait_for receiver_node 100 && wait_for "[ -c /dev/\$(receiver_node) ]" 50
}
stop_gadget() {
  [ -n "$GADGET" ] && { kill "$GADGET"; wait "$GADGET"; }
  GADGET=
  wait_for "! receiver_node >/dev/null" 50
}

# zelkor-ctl (as root, or as the user in $AS) with a bound on its run time;
# output, trace, exit status and elapsed centiseconds land in $W. The device
# log starts afresh, so it holds this run's reports only.
ctl() {
  [ -f $W/dev.log ] && : >$W/dev.log
  t0=$(now_cs)
  if [ -n "$AS" ]; then
    timeout 30 su "$AS" -c "zelkor-ctl --trace $*" >$W/out 2>$W/trace
  else
    timeout 30 zelkor-ctl --trace "$@" >$W/out 2>$W/trace
  fi
  echo $? >$W/rc
  echo $(( $(now_cs) - t0 )) >$W/cs
}

need() {  # what is expected, then the test command
  what=$1; shift
  "$@" && return 0
  echo "expected: $what"
  return 1
}
rc_is() { need "exit status $1 (was $(cat $W/rc))" [ "$(cat $W/rc)" = "$1" ]; }
has() { need "output line '$1'" grep -qxF "$1" $W/out; }
count_is() { need "$2 times '$1' (was $(grep -cxF "$1" $W/out))" [ "$(grep -cxF "$1" $W/out)" = "$2" ]; }
took_under() { need "done within $1 cs (took $(cat $W/cs))" [ "$(cat $W/cs)" -lt "$1" ]; }

# The trace's bytes are the bytes on the wire: what the host sent (less its
# report ID 0) is what the device got, and what the device sent is what the
# host read (behind the report ID 0 the backend puts back).
wire_matches() {
  grep '^> ' $W/trace | cut -c6- >$W/t_out
  grep '^< ' $W/trace | cut -c6- >$W/t_in
  grep '^> ' $W/dev.log | cut -c3- >$W/d_out
  grep '^< ' $W/dev.log | cut -c3- >$W/d_in
  need "reports in the trace" [ -s $W/t_out ] &&
  need "every trace line to carry report ID 0" \
    [ "$(grep -c '^[<>] 00 ' $W/trace)" = "$(grep -c '^[<>] ' $W/trace)" ] &&
  need "the device to get the bytes the trace sent" cmp -s $W/t_out $W/d_out &&
  need "the trace to read the bytes the device sent" cmp -s $W/t_in $W/d_in
}

scenario() {  # name, then the function that checks it
  name=$1; shift
  mkdir -p $W
  if "$@" >$W/why 2>&1; then
    PASS=$((PASS + 1)); log "PASS $name"
  else
    FAIL=$((FAIL + 1)); log "FAIL $name"
    sed 's/^/    /' $W/why
    [ -f $W/out ] && { echo "    --- zelkor-ctl output:"; sed 's/^/    /' $W/out | head -40; }
    [ -f $W/trace ] && { echo "    --- trace:"; sed 's/^/    /' $W/trace | head -6; }
  fi
  rm -f $W/out $W/trace $W/rc $W/cs
}

# --- the scenarios ---------------------------------------------------------

absent() {
  ctl status
  rc_is 1 &&
  count_is "HIDOpen of Vid_04d8&Pid_fb31 returns 0" 7 &&
  count_is "Error, Zelkor not found: is Zelkor correctly installed?" 7 &&
  need "no reports sent" [ ! -s $W/trace ]
}

found_status() {
  n=$(receiver_node)
  usb=$(readlink -f /sys/class/hidraw/$n/device/../..)
  need "a USB parent with the gadget's IDs" [ "$(cat $usb/idVendor):$(cat $usb/idProduct)" = "04d8:fb31" ] &&
  need "bcdDevice 0213" [ "$(cat $usb/bcdDevice)" = "0213" ] &&
  need "the manufacturer string" [ "$(cat $usb/manufacturer)" = "Zelkor" ] || return 1
  ctl status
  rc_is 0 &&
  count_is "HIDOpen of Vid_04d8&Pid_fb31 returns 1" 7 &&
  count_is "HIDReadCommand returns 1" 7 &&
  has "Frequency:  100000000 Hz (100000.000 kHz)" &&
  has "LNA:        on" && has "IF gain:    0" &&
  need "7 reports each way" [ "$(grep -c '^> ' $W/trace):$(grep -c '^< ' $W/trace)" = "7:7" ] &&
  wire_matches
}

tune() {
  ctl tune 145000 status
  rc_is 0 &&
  has "HIDSetFreq of 145000 returns 1" && has "Success, Zelkor frequency set." &&
  has "Frequency:  145000000 Hz (145000.000 kHz)" &&
  need "set-frequency bytes 65 40 86 a4 08" grep -q '^> 00 65 40 86 a4 08 00' $W/trace &&
  wire_matches
}

switches() {
  ctl bias-t on lna off mixer-gain off if-gain 37 if-filter 5 status
  rc_is 0 && count_is "Success, Zelkor write register." 5 &&
  has "Bias-T:     on" && has "LNA:        off" && has "Mixer gain: off" && has "IF gain:    37" &&
  grep -q '^IF filter: .*(5)$' $W/out &&
  need "IF gain bytes 75 25 00" grep -q '^> 00 75 25 00 ' $W/trace &&
  wire_matches || return 1
  ctl bias-t off lna on mixer-gain on if-gain 59 if-filter 0 status
  rc_is 0 && has "Bias-T:     off" && has "LNA:        on" && has "Mixer gain: on" && has "IF gain:    59" &&
  grep -q '^IF filter: .*(0)$' $W/out && wire_matches
}

letter_case() {
  # The kernel writes the IDs in upper case; the pattern is mixed case.
  need "an upper-case HID_ID" grep -qx "HID_ID=0003:000004D8:0000FB31" /sys/class/hidraw/$(receiver_node)/device/uevent &&
  ctl if-gain 0 &&
  rc_is 0 && has "HIDOpen of Vid_04d8&Pid_fb31 returns 1"
}

silent() {
  ctl if-gain 3
  rc_is 1 && has "HIDWriteCommand returns 0" && has "Error, Zelkor register NOT written." &&
  need "the report to reach the device" grep -q '^> 75 03 00' $W/dev.log &&
  need "about 1 s (took $(cat $W/cs) cs)" [ "$(cat $W/cs)" -ge 90 ] && took_under 300
}

fixed_status() {
  ctl lna on
  rc_is 1 && has "HIDWriteCommand returns 2" && has "Error, Zelkor register NOT written." && wire_matches
}

other_device() {
  need "the other device listed first" [ "$(hidraw_of 1234)" = hidraw0 ] &&
  need "the receiver after it" [ "$(receiver_node)" = hidraw1 ] || return 1
  ctl status
  rc_is 0 && count_is "HIDReadCommand returns 1" 7 && wire_matches &&
  need "nothing sent to the other device" [ -z "$(grep '^>' $W/other.log)" ]
}

unplug() {
  exec 3</dev/$(receiver_node)  # an old descriptor kept open over the unplug
  ctl status
  rc_is 1 &&
  need "the first read to succeed" [ "$(grep -m1 '^HIDReadCommand' $W/out)" = "HIDReadCommand returns 1" ] &&
  need "the second exchange to fail" [ "$(grep '^HIDReadCommand' $W/out | sed -n 2p)" = "HIDReadCommand returns 0" ] &&
  has "Error, Zelkor not found: is Zelkor correctly installed?" &&
  need "the device to be gone" grep -q '^# unplugged after 2 reports' $W/dev.log &&
  took_under 200 || return 1
  # It still holds the reports queued before the unplug, then EIO.
  dd bs=64 count=100 <&3 >/dev/null 2>$W/dd
  need "the old descriptor to read EIO" grep -qi 'i/o error\|input/output error' $W/dd
}

replug() {
  wait_for receiver_node 100 || return 1
  need "the replugged receiver on hidraw1" [ "$(receiver_node)" = hidraw1 ] &&
  need "hidraw0 gone" [ ! -e /sys/class/hidraw/hidraw0 ] || return 1
  exec 3<&-
  ctl status
  rc_is 0 && count_is "HIDReadCommand returns 1" 7
}

non_root() {
  node=/dev/$(receiver_node)
  need "a root-only node" [ "$(stat -c %a $node)" = 600 ] || return 1
  su radio -c "cat $node" 2>$W/cat
  need "EACCES for the user" grep -q 'Permission denied' $W/cat || return 1
  AS=radio; ctl status; AS=
  rc_is 1 && count_is "Error, Zelkor not found: is Zelkor correctly installed?" 7 || return 1
  chgrp radio $node && chmod 0660 $node
  AS=radio; ctl tune 433920 status; AS=
  rc_is 0 && has "Frequency:  433920000 Hz (433920.000 kHz)" && wire_matches
}

uhid_path() {
  n=$(receiver_node)
  need "a uhid device with no USB parent" \
    sh -c "readlink -f /sys/class/hidraw/$n/device | grep -q /virtual/misc/uhid/" &&
  need "no bcdDevice above it" sh -c "! find /sys/devices/virtual/misc/uhid -name bcdDevice | grep -q ." || return 1
  ctl tune 145000 if-gain 12 status
  rc_is 0 && has "Frequency:  145000000 Hz (145000.000 kHz)" && has "IF gain:    12" && wire_matches
}

# --- the run ---------------------------------------------------------------

run() {
  for m in configfs usb-common usbcore udc-core libcomposite usb_f_hid; do
    insmod /lib/modules/$m.ko || log "insmod $m failed"
  done
  insmod /lib/modules/dummy_hcd.ko num=2 || log "insmod dummy_hcd failed"
  for m in hid hid-generic usbhid; do insmod /lib/modules/$m.ko || log "insmod $m failed"; done
  mount -t configfs none /sys/kernel/config
  mkdir -p $W

  scenario "receiver absent: two not-found lines, exit 1" absent

  start_gadget || log "gadget did not come up"
  scenario "found; status reads all seven settings" found_status
  scenario "tune 145000 then status shows 145,000,000 Hz" tune
  scenario "every switch and the IF gain write and read back" switches
  scenario "a hardware ID in other letter case matches" letter_case
  log "$(timeout 30 zelkor-rtt)"
  stop_gadget

  start_gadget --silent
  scenario "silent receiver: status 0 after about 1 s" silent
  stop_gadget

  start_gadget --status 2
  scenario "fixed status 2 is reported as a failure" fixed_status
  stop_gadget

  : >$W/other.log
  zelkor-gadget --name other --udc dummy_udc.1 --vendor 1234 --product 5678 --silent \
    --log $W/other.log --lifetime 60 &
  OTHER=$!
  wait_for "hidraw_of 1234 >/dev/null" 100
  start_gadget --udc dummy_udc.0
  scenario "an unrelated HID device present at the same time is skipped" other_device
  stop_gadget
  kill $OTHER; wait $OTHER
  wait_for "! hidraw_of 1234 >/dev/null" 50

  start_gadget --unplug-after 2 --replug-after-ms 1500
  scenario "unplug mid-run: failed exchange, then not found" unplug
  scenario "replug: found again on hidraw1" replug
  stop_gadget

  start_gadget
  scenario "a non-root user: not found without access, works with it" non_root
  stop_gadget

  insmod /lib/modules/uhid.ko || log "insmod uhid failed"
  : >$W/dev.log
  zelkor-uhid --log $W/dev.log --lifetime 60 &
  GADGET=$!
  wait_for receiver_node 100
  scenario "uhid: no USB parent in sysfs" uhid_path
  stop_gadget
}

run
echo "ZELKOR-KERNEL-RESULT passed=$PASS failed=$FAIL"
sync
poweroff -f
