#!/usr/bin/env bash
# Boots Debian's stock kernel in QEMU (emulated, no KVM) with two real serial drivers wired to
# virtual devices on this host, and runs a script in the guest, chrooted into this host's root:
#   - an FTDI USB adapter (ftdi_sio, the guest's ttyUSB0) on an xHCI controller, which the guest
#     can pull out and plug back in (see plug_control.h), and
#   - a 16550 UART (8250, the guest's ttyS1; ttyS0 is the guest's console).
# Each is a tarvi-sim line with the same devices (lines.conf). The share, a writable folder the
# guest mounts at /tmp/drivers, holds the devices' traces, the plug requests and the guest's
# output; the script's output and exit status are passed back. Every process started here is
# stopped on the way out, on failure too.
#   run_in_guest.sh BIN_DIR GUEST_SCRIPT [ARGS...]
# Environment: TARVI_DRIVERS_CACHE (default: ~/.cache/tarvi/drivers-cache) for the kernel,
# TARVI_DRIVERS_TIMEOUT (seconds, default 240) for the whole guest run. The devices' traces, the
# guest's output and its console are kept in BIN_DIR/../drivers-last-run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)
script=$(readlink -f "$2")
shift 2
cache=${TARVI_DRIVERS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvi/drivers-cache}
timeout=${TARVI_DRIVERS_TIMEOUT:-240}

for tool in qemu-system-x86_64 socat cpio gzip apt-get dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvi-drivers.XXXXXX")
share=$work/share
mkdir -p "$share"
chmod 0777 "$share"  # the guest's non-root runs write here too
pids=()
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
tree=$("$here/fetch_kernel.sh" "$cache")
kernel=$(find "$tree/boot" -name 'vmlinuz-*' | head -n 1)
"$here/build_initramfs.sh" "$tree" "$work/initramfs.cpio.gz"

# One virtual line per driver, each printing its ready line once its link exists.
start_line() {
  local name=$1
  shift
  local args
  mkfifo "$work/$name.ready"
  # shellcheck disable=SC2046  # one option per word
  args=$(grep -v '^#' "$here/lines.conf" | tr '\n' ' ')
  # shellcheck disable=SC2086
  "$bin/tarvi-sim" --link "$work/$name" --verbose "$@" $args \
    >"$work/$name.ready" 2>"$share/$name.trace" &
  pids+=($!)
  read -r -t 30 _ <"$work/$name.ready" || { echo "tarvi-sim for $name did not start" >&2; exit 1; }
}
start_line ftdi
# The emulated UART hands each byte to the host as the guest writes it to the transmitter, so a
# guest that the busy host preempts mid-write leaves gaps of tens of milliseconds inside a request
# (a real 16550 sends its FIFO back to back). The devices on that line wait longer before they
# take a request as complete.
start_line uart --frame-silence 120

# The guest's command: its environment, then the script and its arguments.
{
  echo "export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/tmp TMPDIR=/tmp"
  echo "export TARVI_BIN='$bin' TARVI_SHARE=/tmp/drivers"
  printf 'exec /bin/bash %q' "$script"
  printf ' %q' "$@"
  echo
} >"$share/guest.cmd"

# The guest sees this host's root read only, with a tmpfs of its own on /tmp. A checkout or a
# build under /tmp would be hidden by it, so each of them gets a read-only share of its own that
# the guest mounts at the same path over its tmpfs.
extra_shares=()
: >"$share/mounts"
n=0
checkout=$(cd "$here/../.." && pwd)
for path in "$checkout" "$bin"; do
  [ "$path" = "$bin" ] && case $bin/ in "$checkout"/*) continue ;; esac
  case $path/ in
    /tmp/*)
      extra_shares+=(-virtfs "local,path=$path,mount_tag=tree$n,security_model=none,readonly=on,multidevs=remap")
      echo "tree$n $path" >>"$share/mounts"
      n=$((n + 1))
      ;;
  esac
done

qmp=$work/qmp.sock
qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -nographic -no-reboot -net none \
  -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet" \
  -serial mon:stdio \
  -chardev "serial,id=uart,path=$work/uart" -serial chardev:uart \
  -device qemu-xhci \
  -chardev "serial,id=ftdi,path=$work/ftdi" \
  -device usb-serial,id=ftdi0,chardev=ftdi,always-plugged=on \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$share,mount_tag=results,security_model=none,multidevs=remap" \
  "${extra_shares[@]}" \
  -qmp "unix:$qmp,server=on,wait=off" \
  </dev/null >"$work/console.log" 2>&1 &
qemu_pid=$!
pids+=("$qemu_pid")

# Plug requests from the guest: plug-N.req holds "out" or "in"; the answer is plug-N.done.
qmp_command() {
  printf '%s\n%s\n' '{"execute":"qmp_capabilities"}' "$1" |
    socat -t 2 - "UNIX-CONNECT:$qmp" 2>&1 | grep -v '"QMP"' | tr -d '\r' | tail -n 1
}
serve_plugs() {
  local n=1 action answer
  while true; do
    if [ -f "$share/plug-$n.req" ]; then
      action=$(cat "$share/plug-$n.req")
      case $action in
        "out") answer=$(qmp_command '{"execute":"device_del","arguments":{"id":"ftdi0"}}') ;;
        "in") answer=$(qmp_command '{"execute":"device_add","arguments":{"driver":"usb-serial","id":"ftdi0","chardev":"ftdi","always-plugged":true}}') ;;
        *) answer="unknown request $action" ;;
      esac
      echo "$answer" >"$share/plug-$n.tmp"
      mv "$share/plug-$n.tmp" "$share/plug-$n.done"
      n=$((n + 1))
    fi
    sleep 0.02
  done
}
serve_plugs &
pids+=($!)

deadline=$((SECONDS + timeout))
while kill -0 "$qemu_pid" 2>/dev/null; do
  if [ "$SECONDS" -ge "$deadline" ]; then
    echo "FAIL: the guest did not finish within ${timeout} s" >&2
    break
  fi
  sleep 0.2
done

cat "$share/guest.out" 2>/dev/null || true
status=1
if [ -s "$share/guest.status" ]; then
  status=$(cat "$share/guest.status")
else
  echo "FAIL: no exit status from the guest; its console:" >&2
  tail -n 40 "$work/console.log" >&2
fi
# The run's traces, output and timings stay beside the build for a look afterwards.
kept=$bin/../drivers-last-run
rm -rf "$kept"
mkdir -p "$kept"
cp "$share"/*.trace "$share"/guest.out "$share"/timing.txt "$work/console.log" "$kept/" 2>/dev/null || true
if [ "$status" != 0 ]; then
  for trace in "$share"/*.trace; do
    echo "--- last lines of $(basename "$trace"):"
    tail -n 30 "$trace"
  done
fi
echo "guest run: $((SECONDS - started)) s, exit status $status"
exit "$status"
