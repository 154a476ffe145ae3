#!/usr/bin/env bash
# Puts Debian's stock kernel into a cache folder: the metapackage linux-image-amd64 names its
# versioned image package; both are fetched with apt-get download, and the kernel image and the
# modules the guest loads are taken out of the package (dpkg-deb; nothing is installed). Prints
# the unpacked folder. Does nothing when it is there already.
#   fetch_kernel.sh CACHE_DIR
set -euo pipefail

cache=$(mkdir -p "$1" && cd "$1" && pwd)
tree="$cache/kernel"
if [ -f "$tree/.complete" ]; then
  echo "$tree"
  exit 0
fi

debs="$cache/debs"
mkdir -p "$debs"
# apt drops privileges to _apt for the download unless the folder is writable to it.
chmod 0777 "$debs"
(cd "$debs" && apt-get download -q linux-image-amd64 >&2)
meta=$(find "$debs" -name 'linux-image-amd64_*.deb' | sort | tail -n 1)
image=$(dpkg-deb -f "$meta" Depends | grep -o 'linux-image-[0-9][^ ,]*-amd64' | head -n 1)
[ -n "$image" ] || { echo "no versioned image package in $meta" >&2; exit 1; }
(cd "$debs" && apt-get download -q "$image" >&2)

rm -rf "$tree"
mkdir -p "$tree"
# Only what the guest needs: unpacking all of the package's modules takes a minute.
modules='./lib/modules/*/kernel'  # a pattern for tar, not for the shell
dpkg-deb --fsys-tarfile "$(find "$debs" -name "${image}_*.deb" | sort | tail -n 1)" |
  tar -x -C "$tree" --wildcards './boot/vmlinuz-*' \
    "$modules/drivers/virtio/*" "$modules/fs/netfs/*" "$modules/fs/fscache/*" \
    "$modules/net/9p/*" "$modules/fs/9p/*" "$modules/drivers/usb/common/*" \
    "$modules/drivers/usb/core/*" "$modules/drivers/usb/host/xhci-*" \
    "$modules/drivers/usb/serial/usbserial.ko" "$modules/drivers/usb/serial/ftdi_sio.ko"
ls "$tree"/boot/vmlinuz-* >/dev/null
touch "$tree/.complete"
echo "$tree"
