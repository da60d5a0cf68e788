#!/bin/sh
# /init of the system test's initramfs: Debian's kernel has the root disk's
# driver and ext4 as modules, so load them, mount the disk and hand over to
# systemd. Anything wrong powers the guest off, so the host never waits long.
export PATH=/bin
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1

give_up() {
  echo "system-test: initramfs: $*"
  poweroff -f
}

while read -r module; do
  # One that does not fit this CPU (crc32c-intel) is skipped.
  insmod "/lib/modules/$module" 2>/dev/null || true
done </lib/modules/load-order

i=0
until [ -b /dev/vda ]; do
  [ "$i" -lt 100 ] || give_up "no root disk /dev/vda"
  usleep 100000
  i=$((i + 1))
done
mkdir -p /root
mount -t ext4 -o rw /dev/vda /root || give_up "cannot mount /dev/vda"
umount /sys /proc
mount --move /dev /root/dev  # the console stays open across the switch
exec switch_root /root /lib/systemd/systemd
