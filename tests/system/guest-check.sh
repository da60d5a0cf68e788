#!/bin/sh
# The system test's checks, run as root by a unit once the guest reached
# multi-user.target: installs the package with apt, plays the receiver with
# zelkor-gadget and checks what udev, logind and systemd make of it. One
# PASS/FAIL line per check on the console, then a result line; the unit
# powers the guest off however this ends.
T=/run/zelkor-test      # read-only: the package, the gadget, this script
W=/var/tmp/zelkor-check # one check's files
PASS=0
FAIL=0
GADGET=
RIG="rigctl -m 2 -r 127.0.0.1:4532"
export DEBIAN_FRONTEND=noninteractive
mkdir -p $W
cd $W || exit 1

log() { echo "system-test: $*"; }
uptime_s() { cut -d. -f1 /proc/uptime; }

# Waits up to $2 tenths of a second for the command in $1 to succeed.
wait_for() {
  i=0
  while [ "$i" -lt "$2" ]; do
    eval "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
    i=$((i + 1))
  done
  echo "timed out waiting for: $1"
  return 1
}

need() {  # what is expected, then the test command
  what=$1; shift
  "$@" && return 0
  echo "expected: $what"
  return 1
}

check() {  # name, then the function that checks it
  name=$1; shift
  t0=$(uptime_s)
  if "$@" >$W/why 2>&1; then
    PASS=$((PASS + 1)); log "PASS $name ($(( $(uptime_s) - t0 )) s)"
  else
    FAIL=$((FAIL + 1)); log "FAIL $name ($(( $(uptime_s) - t0 )) s)"
    sed 's/^/    /' $W/why | tail -n 40
  fi
}

# --- the receiver ----------------------------------------------------------

receiver_node() {
  for n in /sys/class/hidraw/hidraw*; do
    [ -e "$n/device/uevent" ] || continue
    grep -q '^HID_ID=....:000004D8:0000FB31$' "$n/device/uevent" && { echo "/dev/${n##*/}"; return 0; }
  done
  return 1
}

plug() {
  : >$W/dev.log
  $T/zelkor-gadget --log $W/dev.log --lifetime 150 >>$W/gadget.out 2>&1 &
  GADGET=$!
  # udev has run its rules once the queue is empty.
  wait_for receiver_node 150 && wait_for "[ -c \$(receiver_node) ]" 50 && udevadm settle --timeout=20
}
unplug() {
  [ -n "$GADGET" ] && { kill "$GADGET"; wait "$GADGET"; }
  GADGET=
  wait_for "! receiver_node" 100 && udevadm settle --timeout=20
}

# As the given user, with a bounded run time: zelkor-ctl's output in $W/out.
ctl_as() {
  user=$1; shift
  timeout 30 runuser -u "$user" -- zelkor-ctl "$@" >$W/out 2>&1
}
# Whether the given user can open the node for reading and writing.
opens() {
  timeout 10 runuser -u "$1" -- sh -c "exec 3<>$2" 2>$W/open
}

# --- the checks ------------------------------------------------------------

# What a package's scripts may leave: everything in /etc, /opt, /srv,
# /usr/local and /var, less what changes as the system runs (logs, caches,
# apt's and dpkg's own records, runtime state). /usr, the bulk, is checked
# through the package's own file list.
file_list() {
  find /etc /opt /srv /usr/local /var \( -path /var/tmp -o -path /var/log -o -path /var/cache \
    -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/lib/systemd/timers \
    -o -path /var/lib/systemd/random-seed -o -path /var/lib/systemd/linger \) -prune -o -print | sort
  # The package's paths that exist, whether it made them or not.
  dpkg-deb -c $T/zelkor_*_amd64.deb | awk '{print substr($6, 2)}' | sed 's|/$||' | grep . |
    while read -r p; do [ -e "$p" ] && echo "$p"; done
}

install() {
  file_list >$W/files.before
  (cd $T && timeout 120 apt-get install -y ./zelkor_*_amd64.deb) >$W/apt.log 2>&1
  rc=$?
  need "apt-get to install the package (exit $rc)" [ "$rc" = 0 ] || { tail -n 20 $W/apt.log; return 1; }
  need "the package installed" sh -c "dpkg-query -W -f='\${Status}' zelkor | grep -q 'install ok installed'" &&
  need "a system user zelkor" sh -c "getent passwd zelkor | cut -d: -f3 | awk '\$1 < 1000' | grep -q ." &&
  need "a system group zelkor" sh -c "getent group zelkor | cut -d: -f3 | awk '\$1 < 1000' | grep -q ." &&
  need "the test users outside the group" sh -c "! id -nG radio | grep -qw zelkor && ! id -nG desk | grep -qw zelkor" &&
  need "the unit installed, not enabled" [ "$(systemctl is-enabled zelkor-serve.service 2>&1)" = disabled ] &&
  need "the service not running" [ "$(systemctl is-active zelkor-serve.service)" = inactive ]
}

rule() {
  plug || return 1
  node=$(receiver_node)
  udevadm info "$node" >$W/info
  sed 's/^/  /' $W/info | grep -E '^  (N|E: (TAGS|CURRENT_TAGS|ID_VENDOR_ID|ID_MODEL_ID))'
  need "the uaccess tag on $node" grep -q '^E: TAGS=.*:uaccess:' $W/info &&
  need "the seat tag on $node" grep -q '^E: TAGS=.*:seat:' $W/info &&
  need "mode 660, group zelkor on $node (is $(stat -c '%a %U:%G' "$node"))" \
    [ "$(stat -c '%a %U:%G' "$node")" = "660 root:zelkor" ] || return 1
  # radio has no seat and is not in the group.
  opens radio "$node"
  need "radio refused: Permission denied" grep -q 'Permission denied' $W/open &&
  { ctl_as radio status; [ $? = 1 ]; } &&
  need "zelkor-ctl as radio: not found" grep -q 'Error, Zelkor not found' $W/out &&
  need "a member of the group gets in" sh -c "timeout 10 setpriv --reuid=radio --regid=radio --groups=zelkor sh -c 'exec 3<>$node'"
}

desk_session() {
  loginctl list-sessions --no-legend | awk '$3 == "desk" && $4 == "seat0" {print $1}' | head -n1
}

seat() {
  node=$(receiver_node)
  need "the receiver still plugged in" [ -n "$node" ] &&
  wait_for '[ -n "$(desk_session)" ]' 300 || { loginctl list-sessions; return 1; }
  s=$(desk_session)
  loginctl show-session "$s" -p Name -p Seat -p TTY -p Type -p Class -p Active -p State | tr '\n' ' '; echo
  need "desk's session active on seat0" [ "$(loginctl show-session "$s" -p Active --value)" = yes ] &&
  wait_for "getfacl -cp $node | grep -qx 'user:desk:rw-'" 50 || { getfacl -p "$node"; return 1; }
  getfacl -cp "$node"
  need "desk opens $node" opens desk "$node" &&
  need "zelkor-ctl as desk reads the receiver" ctl_as desk tune 433920 status &&
  need "433920000 Hz read back" grep -qx 'Frequency:  433920000 Hz (433920.000 kHz)' $W/out || return 1
  # The access is the session's: it goes when the session ends.
  systemctl stop getty@tty1.service
  wait_for '[ -z "$(desk_session)" ]' 150 &&
  wait_for "! getfacl -cp $node | grep -q '^user:desk:'" 50 &&
  ! opens desk "$node" || { echo "expected: desk refused without a session"; return 1; }
  systemctl start getty@tty1.service
  wait_for '[ -n "$(desk_session)" ]' 300 &&
  wait_for "getfacl -cp $node | grep -qx 'user:desk:rw-'" 50
}

service() {
  systemctl enable --now zelkor-serve.service >$W/enable 2>&1 || { cat $W/enable; return 1; }
  wait_for "$RIG f" 150 || { systemctl status zelkor-serve.service --no-pager; return 1; }
  pid=$(systemctl show -p MainPID --value zelkor-serve.service)
  need "running as zelkor" [ "$(ps -o user= -p "$pid")" = zelkor ] &&
  need "enabled" [ "$(systemctl is-enabled zelkor-serve.service)" = enabled ] || return 1
  $RIG F 145000000 && [ "$($RIG f)" = 145000000 ] ||
    { echo "expected rigctl to tune 145000000 and read it back"; return 1; }
  need "the receiver to get the set-frequency report" grep -q '^> 65 40 86 a4 08' $W/dev.log || return 1
  unplug || return 1
  # A request with nothing to answer it: an error reply, not a hang.
  reply=$(timeout 20 bash -c 'exec 3<>/dev/tcp/127.0.0.1/4532; echo "F 7100000" >&3; read -r r <&3; echo "$r"')
  need "an error reply with the receiver unplugged (got '$reply')" sh -c "echo '$reply' | grep -q '^RPRT -'" || return 1
  plug || return 1
  $RIG F 433920000 && [ "$($RIG f)" = 433920000 ] ||
    { echo "expected rigctl to tune 433920000 after the replug"; return 1; }
  need "the same process after unplug and replug" \
    [ "$(systemctl show -p MainPID --value zelkor-serve.service)" = "$pid" ] &&
  need "no restarts" [ "$(systemctl show -p NRestarts --value zelkor-serve.service)" = 0 ] || return 1
  timeout 60 systemctl stop zelkor-serve.service
  systemctl show zelkor-serve.service -p ActiveState -p Result -p ExecMainCode -p ExecMainStatus | tr '\n' ' '; echo
  need "stopped" [ "$(systemctl is-active zelkor-serve.service)" = inactive ] &&
  need "stopped cleanly (Result=success)" [ "$(systemctl show -p Result --value zelkor-serve.service)" = success ] &&
  need "the port closed" sh -c "! $RIG f 2>/dev/null"
}

panel() {
  unplug || return 1
  uid=$(id -u desk)
  : >$W/panel.err
  chmod 666 $W/panel.err
  setpriv --reuid=desk --regid=desk --init-groups env HOME=/home/desk QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR=/run/user/$uid zelkor-panel --trace 2>>$W/panel.err >/dev/null &
  panel=$!
  changes() { grep -c '^device change$' $W/panel.err; }
  wait_for "grep -q '^panel ready; device notices from udev$' $W/panel.err" 400 &&
  plug && wait_for '[ "$(changes)" -ge 1 ]' 300 &&
  { echo "on arrival:"; ls -l "$(receiver_node)"; getfacl -cp "$(receiver_node)"; } &&
  unplug && wait_for '[ "$(changes)" -ge 2 ]' 300
  ok=$?
  sleep 2  # room for any stray notice
  kill $panel 2>/dev/null; wait $panel
  grep -v '^[<>] ' $W/panel.err | sed 's/^/  /' | head -n 40
  [ $ok = 0 ] || return 1
  need "one refresh for each of arrival and departure (saw $(changes))" [ "$(changes)" = 2 ] || return 1
  # The status log after each notice, and the reports between them.
  awk '/^device change$/ {n++} n == 1' $W/panel.err >$W/arrival
  awk '/^device change$/ {n++} n == 2' $W/panel.err >$W/departure
  need "no reports before the receiver came" sh -c "! awk '/^device change\$/ {exit} {print}' $W/panel.err | grep -q '^[<>] '" &&
  need "the arrival's refresh read the receiver" grep -q '^log: HIDReadCommand returns 1' $W/arrival &&
  need "the arrival's refresh exchanged reports" grep -q '^> ' $W/arrival &&
  need "the arrival's log without errors" sh -c "! grep -q '^log: Error' $W/arrival" &&
  need "the departure's refresh found it gone" grep -q '^log: Error, Zelkor not found' $W/departure &&
  need "no reports after the departure" sh -c "! grep -q '^[<>] ' $W/departure"
}

removal() {
  systemctl start zelkor-serve.service
  uid=$(id -u zelkor)
  timeout 120 apt-get purge -y zelkor >$W/apt.log 2>&1
  rc=$?
  need "apt-get to purge the package (exit $rc)" [ "$rc" = 0 ] || { tail -n 20 $W/apt.log; return 1; }
  file_list >$W/files.after
  diff $W/files.before $W/files.after >$W/files.diff
  sed 's/^/  /' $W/files.diff | head -n 20
  need "no trace in dpkg" sh -c "! dpkg-query -W zelkor 2>/dev/null" &&
  need "the files as before the install" [ ! -s $W/files.diff ] &&
  find /etc /usr /var -name '*zelkor*' ! -path "$W*" ! -name zelkor-system-check.service >$W/named
  sed 's/^/  left: /' $W/named | head -n 20
  need "nothing named after the package, even in logs' and caches' folders" [ ! -s $W/named ] &&
  need "no rule" sh -c "! ls /usr/lib/udev/rules.d /etc/udev/rules.d | grep -q zelkor" &&
  need "no unit" sh -c "! systemctl cat zelkor-serve.service >/dev/null 2>&1" &&
  need "no enablement link" sh -c "! find /etc/systemd -name 'zelkor-serve*' | grep -q ." &&
  need "no user zelkor" sh -c "! getent passwd zelkor" &&
  need "no group zelkor" sh -c "! getent group zelkor" &&
  need "no process left of uid $uid" sh -c "! ps -o pid= -u $uid | grep -q ."
}

# --- the run ---------------------------------------------------------------

log "multi-user.target reached $(uptime_s) s after power-on"
log "kernel and initramfs took $(( $(systemctl show -p UserspaceTimestampMonotonic --value) / 1000000 )) s; slowest units (ms):"
systemctl show -p Id -p InactiveExitTimestampMonotonic -p ActiveEnterTimestampMonotonic -- \
  $(systemctl list-units --no-legend --plain --all | awk '{print $1}') |
  awk -F= '/^Id=/ {u=$2} /^InactiveExit/ {a=$2} /^ActiveEnter/ {if (a > 0 && $2 > a) printf "%d %s\n", ($2-a)/1000, u}' |
  sort -rn | head -n 5 | sed 's/^/    /'
modprobe dummy_hcd && modprobe usb_f_hid || log "modprobe failed"
# desk's user manager stays over the session's end and return in the seat check.
loginctl enable-linger desk
mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config

check "install: apt-get install ./zelkor_*.deb resolves and installs" install
check "rule: uaccess tag, group zelkor mode 0660, others refused" rule
check "seat access: desk's logind session on seat0 opens it through the ACL" seat
check "service: starts when enabled, tunes for rigctl -m 2, survives unplug and replug, stops cleanly" service
check "panel: offscreen as desk, one refresh per udev arrival and departure" panel
check "removal: apt-get purge leaves no file, unit, rule, user or group" removal
unplug >/dev/null 2>&1

echo "ZELKOR-SYSTEM-RESULT passed=$PASS failed=$FAIL"
