#!/usr/bin/env bash
# Makes the guest's initramfs: busybox-static, the init script, and the kernel modules it loads,
# listed in load order in /modules.order.
#   build_initramfs.sh KERNEL_TREE OUT.cpio.gz
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$1
out=$2
modules_dir=$(ls -d "$tree"/lib/modules/*/kernel)
order=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache
       9pnet 9pnet_virtio 9p usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)

root=$(mktemp -d "${TMPDIR:-/tmp}/tarvi-initramfs.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,proc,sys,dev,mnt,modules}
cp /bin/busybox "$root/bin/busybox"
file -L "$root/bin/busybox" | grep -q 'statically linked' ||
  { echo "busybox is not the static one (busybox-static)" >&2; exit 1; }
install -m 0755 "$here/guest_init.sh" "$root/init"
for module in "${order[@]}"; do
  found=$(find "$modules_dir" -name "$module.ko" | head -n 1)
  [ -n "$found" ] || { echo "module $module not in $tree" >&2; exit 1; }
  cp "$found" "$root/modules/"
  echo "$module" >>"$root/modules.order"
done
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out"
