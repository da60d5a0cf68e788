#!/bin/sh
# /init of the kernel test's guest: loads the USB HID stack, plays the
# receiver with zelkor-gadget (and once with zelkor-uhid), runs zelkor-ctl
# against it and checks output, exit status and trace, and the values shown
# against what the device really holds. The result goes out as
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

# Each line starts on a line of its own: the console may still hold the
# firmware's last words, or a kernel message, without a newline.
log() { printf '\nkernel-test: %s\n' "$*"; }

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
  : >$W/faults
  zelkor-gadget --log $W/dev.log --state $W/state --faults $W/faults --lifetime 90 "$@" &
  GADGET=$!
  wait_for receiver_node 100 && wait_for "[ -c /dev/\$(receiver_node) ]" 50
}
# The running gadget's faults from now on (its fault options; none: none).
faults() {
  echo "$*" >$W/faults
  kill -HUP $GADGET
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
# Only against hangs: the guest is emulated on a shared machine.
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

# Holds the status block in $W/out against what the device really holds
# ($W/state): every value shown must be the device's, and a value shown as
# unknown needs exit status 1. With "all", every value must be shown and the
# exit status be 0.
values_true() {
  awk -v state=$W/state -v rc="$(cat $W/rc)" -v all="${1:-}" '
    BEGIN { while ((getline line < state) > 0) { i = index(line, "="); truth[substr(line, 1, i - 1)] = substr(line, i + 1) } }
    function seen(key, value) {
      lines++
      if (value == "") { unknown++; print "shown as unknown: " key }
      else if (value != truth[key]) { wrong++; print "wrong " key ": shown " value ", the device holds " truth[key] }
    }
    function code() { return $NF ~ /^\([0-9]+\)$/ ? substr($NF, 2, length($NF) - 2) : "" }
    function flag(word) { return word == "on" ? 1 : word == "off" ? 0 : "" }
    /^Frequency:/ { seen("frequency", $2 ~ /^[0-9]+$/ && $3 == "Hz" ? $2 : "") }
    /^RF filter:/ { seen("rf_filter", code()) }
    /^IF filter:/ { seen("if_filter", code()) }
    /^Bias-T:/ { seen("bias_t", NF == 2 ? flag($2) : "") }
    /^LNA:/ { seen("lna", NF == 2 ? flag($2) : "") }
    /^Mixer gain:/ { seen("mixer_gain", NF == 3 ? flag($3) : "") }
    /^IF gain:/ { seen("if_gain", NF == 3 && $3 ~ /^[0-9]+$/ ? $3 : "") }
    END {
      if (lines != 7) { print "expected: a status block of 7 lines (saw " lines + 0 ")"; exit 1 }
      if (wrong) exit 1
      if (unknown && rc == 0) { print "expected: exit status 1 when a value is unknown"; exit 1 }
      if (all != "" && (unknown || rc != 0)) { print "expected: every value shown, exit status 0 (was " rc ")"; exit 1 }
    }' $W/out
}

scenario() {  # name, then the function that checks it
  name=$1; shift
  mkdir -p $W
  t=$(now_cs)
  if "$@" >$W/why 2>&1; then
    t=$(( $(now_cs) - t ))
    PASS=$((PASS + 1)); log "PASS $name ($((t / 100)).$((t % 100 / 10)) s)"
  else
    t=$(( $(now_cs) - t ))
    FAIL=$((FAIL + 1)); log "FAIL $name ($((t / 100)).$((t % 100 / 10)) s)"
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
  need "at least the 1 s timeout (took $(cat $W/cs) cs)" [ "$(cat $W/cs)" -ge 90 ] && took_under 1000
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
  took_under 400 || return 1
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
  rc_is 1 && count_is "Error, Zelkor not found: is Zelkor correctly installed?" 7 &&
  need "standard error to name the cause" grep -q 'Permission denied' $W/trace &&
  need "standard error to say how to grant access" grep -qi 'udev' $W/trace || return 1
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

# The gadget answers the write it takes next (SIGUSR1) 1.3 s late, past the
# 1 s a transaction waits; the next command follows at once, in the same
# process and in a new one.
late_reply() {
  kill -USR1 $GADGET
  ctl if-gain 7 status
  rc_is 1 && has "Error, Zelkor register NOT written." && took_under 1000 &&
  need "the late reply sent" grep -q '^# reply held back' $W/dev.log &&
  values_true || return 1
  kill -USR1 $GADGET
  ctl if-gain 9
  rc_is 1 && has "Error, Zelkor register NOT written." && took_under 1000 || return 1
  ctl status
  values_true
}

# Reports the device sends besides its replies (the gadget's own faults).
reports_besides_replies() {  # how many at least
  ctl lna off if-gain 21 tune 433920 status
  need "at least $1 reports besides the replies (saw $(grep -c '^~ ' $W/dev.log))" \
    [ "$(grep -c '^~ ' $W/dev.log)" -ge "$1" ] &&
  values_true
}

# Noise in the byte where this firmware echoes the command: the protocol
# leaves that byte open, so nothing may depend on it.
echo_noise() {
  ctl bias-t on if-filter 3 tune 7100 status
  values_true all
}

# The device refuses a write (SIGUSR2: status 0, nothing changed) and sends
# a success report for it right after.
refused() {
  ctl lna on
  rc_is 0 || return 1
  kill -USR2 $GADGET
  ctl lna off
  rc_is 1 && has "Error, Zelkor register NOT written." &&
  need "the device to keep LNA on" grep -qx 'lna=1' $W/state &&
  need "a success report after the refusal" grep -q '^~ 6e 01 ' $W/dev.log || return 1
  ctl status
  values_true all
}

# The USB stack refuses the write itself (usbhid sends it as a control
# request, which the gadget stalls) while unsolicited reports keep coming:
# the write must fail at once, and no report may stand in for its reply.
write_refused() {
  ctl lna off
  rc_is 1 && has "Error, Zelkor register NOT written." &&
  need "nothing to reach the device" [ -z "$(grep '^> ' $W/dev.log)" ] &&
  need "the device to keep LNA on" grep -qx 'lna=1' $W/state &&
  need "the trace to show the failed write" grep -qi 'write failed' $W/trace
}

# Two processes on one receiver for a few seconds, each running zelkor-ctl
# over and over; the device's values do not change, so every value shown
# must be them.
two_processes() {
  ctl tune 145000 if-filter 5 bias-t on lna off mixer-gain on if-gain 23
  rc_is 0 || return 1
  for p in a b; do
    (
      args=status
      [ $p = b ] && args="if-gain 23 status"
      end=$(( $(now_cs) + 400 ))
      n=0
      while [ "$(now_cs)" -lt "$end" ]; do
        n=$((n + 1))
        timeout 30 zelkor-ctl $args >$W/run.$p.$n 2>&1
        echo $? >$W/run.$p.$n.rc
      done
    ) &
    eval pid_$p=$!
  done
  wait $pid_a $pid_b
  runs=0 wrong=0 failed=0
  for f in $W/run.?.*[0-9]; do
    runs=$((runs + 1))
    cp $f $W/out
    cp $f.rc $W/rc
    [ "$(cat $W/rc)" = 0 ] || failed=$((failed + 1))
    values_true >$W/check || cat $W/check
    wrong=$((wrong + $(grep -c '^wrong ' $W/check)))
  done
  both=no
  [ -f $W/run.a.1 ] && [ -f $W/run.b.1 ] && both=yes
  rm -f $W/run.* $W/check
  echo "two processes: $runs runs of zelkor-ctl, $wrong wrong values, $failed failed" >$W/figure
  need "runs from both processes" [ "$both" = yes ] &&
  need "no wrong values (saw $wrong)" [ "$wrong" = 0 ]
}

# --- the run ---------------------------------------------------------------

run() {
  log "up after $(( $(now_cs) / 100 )) s"
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
  timeout 30 zelkor-rtt | while read -r line; do log "$line"; done
  stop_gadget

  start_gadget
  scenario "a late reply, then the next command at once: true values or a failure" late_reply
  scenario "a refused write followed by a success report: failure, then true values" refused
  scenario "two processes at once for 4 s: no wrong values" two_processes
  log "$(cat $W/figure)"
  faults --silent
  scenario "silent receiver: status 0 after the timeout, no hang" silent
  faults --status 2
  scenario "fixed status 2 is reported as a failure" fixed_status
  faults --unsolicited-ms 30
  scenario "unsolicited reports: true values or a failure" reports_besides_replies 2
  faults --stale 3
  scenario "three stale reports before every reply: true values or a failure" reports_besides_replies 20
  faults --echo-noise
  scenario "noise in the reply's echo byte: works, true values" echo_noise
  stop_gadget

  # Output reports by control request, for this receiver only.
  rmmod usbhid && insmod /lib/modules/usbhid.ko quirks=0x04d8:0xfb31:0x00040000 || log "usbhid with quirks failed"
  start_gadget --unsolicited-ms 30
  scenario "a write the USB stack refuses: fails at once, no report taken for its reply" write_refused
  stop_gadget
  rmmod usbhid && insmod /lib/modules/usbhid.ko || log "usbhid reload failed"

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
log "scenarios done after $(( $(now_cs) / 100 )) s"
printf '\nZELKOR-KERNEL-RESULT passed=%s failed=%s\n' $PASS $FAIL
sync
poweroff -f
