#!/usr/bin/env bash
# Builds the system test's guest disk: a minimal Debian 12 with systemd,
# udev and logind, the given packages, two users, a console login for the
# user at the seat and the unit that runs the checks at boot.
# Usage: make-base.sh IMAGE MODULE_TREE PACKAGE...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
image=$1 modules=$2
shift 2
rootfs=$image.rootfs
rm -rf "$rootfs"
trap 'rm -rf "$rootfs" "$image.part"' EXIT

mmdebstrap --variant=minbase --include="$(IFS=,; echo "$*")" \
  --aptopt='APT::Install-Recommends "false"' bookworm "$rootfs"
echo zelkor-guest >"$rootfs/etc/hostname"
# A machine ID makes every boot an ordinary one, not a first boot.
chroot "$rootfs" systemd-machine-id-setup

# radio: a user with no seat and not in the service's group; desk: the user
# at the seat, logged in on the first console.
chroot "$rootfs" useradd -m -s /bin/bash radio
chroot "$rootfs" useradd -m -s /bin/bash desk
units=$rootfs/etc/systemd/system
mkdir -p "$units/getty@tty1.service.d"
printf '[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin desk --noclear %%I $TERM\n' \
  >"$units/getty@tty1.service.d/autologin.conf"
# The serial line carries the checks' report: nobody logs in there. The rest
# only slows a software-emulated boot.
for unit in serial-getty@ttyS0.service apt-daily.timer apt-daily-upgrade.timer \
  e2scrub_reap.service e2scrub_all.timer fstrim.timer systemd-timesyncd.service; do
  ln -sf /dev/null "$units/$unit"
done
cp "$here/zelkor-system-check.service" "$units/"
mkdir -p "$units/multi-user.target.wants"
ln -sf ../zelkor-system-check.service "$units/multi-user.target.wants/"

cp -a "$modules/lib/modules" "$rootfs/lib/"
depmod -b "$rootfs" "$(ls "$modules/lib/modules")"

size=$(( $(du -sm "$rootfs" | cut -f1) * 13 / 10 + 256 ))
mkfs.ext4 -q -F -L zelkor-guest -d "$rootfs" "$image.part" "${size}M"
mv "$image.part" "$image"
