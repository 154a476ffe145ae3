#!/bin/busybox sh
# shellcheck shell=dash
# The guest's first process, from the initramfs: loads the modules the stock kernel lacks for
# this machine (in dependency order, for there is no modules.dep), mounts the host's root read
# only and the writable share, and runs the share's guest.cmd chrooted into the host's root, so
# that the host's own programs and libraries run unchanged. Its output and exit status go to the
# share; then the machine powers off, which ends QEMU.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r module; do
  insmod "/modules/$module.ko" || echo "guest: insmod $module failed"
done </modules.order

root=/mnt
share=$root/tmp/drivers
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 hostroot $root
mount -t devtmpfs devtmpfs $root/dev
mount -t proc proc $root/proc
mount -t sysfs sysfs $root/sys
mount -t tmpfs -o mode=1777 tmpfs $root/tmp
mkdir -p $root/dev/pts $share
mount -t devpts -o ptmxmode=0666,mode=0620 devpts $root/dev/pts
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results $share
# A checkout or a build under the host's /tmp, which the tmpfs above hides: each comes as a share
# of its own, mounted at its own path.
if [ -f $share/mounts ]; then
  while read -r tag path; do
    mkdir -p "$root$path"
    mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 "$tag" "$root$path" ||
      echo "guest: mounting $path failed"
  done <$share/mounts
fi

if [ -f $share/guest.cmd ]; then
  chroot $root /bin/sh /tmp/drivers/guest.cmd >$share/guest.out 2>&1
  echo $? >$share/guest.status
else
  echo "guest: no guest.cmd in the share" >&2
fi
sync
umount $share 2>/dev/null
poweroff -f
