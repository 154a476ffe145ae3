#!/usr/bin/env bash
# Runs in the guest (run_in_guest.sh), chrooted into the host's root: the scenarios on the real
# drivers, the FTDI adapter (ttyUSB0, ftdi_sio) and the UART (ttyS1, 8250), each wired to a line
# of virtual devices on the host whose trace lies in the shared folder. Prints one result line
# per scenario and ends with status 0 only when every one passed.
set -uo pipefail

bin=${TARVI_BIN:?}
share=${TARVI_SHARE:?}
results=()
failed=0
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
}
trap cleanup EXIT

# Runs one scenario: its name, then the command. Its output is shown; a run that skipped a test
# counts as failed, for nothing may be skipped here.
scenario() {
  local name=$1 start=$SECONDS status
  shift
  echo "=== $name"
  "$@" 2>&1 | tee "$share/last.out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] && grep -q '\[  SKIPPED \]' "$share/last.out"; then
    echo "a test was skipped"
    status=1
  fi
  if [ "$status" -eq 0 ]; then
    results+=("PASS  $name ($((SECONDS - start)) s)")
  else
    results+=("FAIL  $name ($((SECONDS - start)) s)")
    failed=1
  fi
}

wait_for_node() {
  local deadline=$((SECONDS + 60))
  until [ -e "$1" ]; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "no $1 in the guest"; exit 1; }
    sleep 0.2
  done
}
wait_for_node /dev/ttyUSB0
wait_for_node /dev/ttyS1
echo "guest: kernel $(uname -r); ttyUSB0 on $(basename "$(readlink -f /sys/class/tty/ttyUSB0/device/driver)"), ttyS1 on $(basename "$(readlink -f /sys/class/tty/ttyS1/device/driver)")"

# An X server for the window.
runtime=$(mktemp -d /tmp/runtime.XXXXXX)
chmod 700 "$runtime"
mkfifo /tmp/display
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>/tmp/display 2>/tmp/xvfb.err &
pids+=($!)
display=""
read -r -t 60 display </tmp/display || { echo "Xvfb did not start: $(cat /tmp/xvfb.err)"; exit 1; }
export DISPLAY=":$display" XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb
# Under X, Qt looks a message box's icon up in the icon themes under XDG_DATA_DIRS: thousands of
# files over the 9p share of the emulated guest took 8-15 s per box. No themes: the built-in icon.
mkdir -p /tmp/no-data-dirs
export XDG_DATA_DIRS=/tmp/no-data-dirs

# The serial component's own suite, its real-UART test on each driver.
scenario "serial component suite, real-UART test on ttyS1 (8250)" \
  env TARVI_TEST_UART=ttyS1 QT_QPA_PLATFORM=offscreen "$bin/serial_port_test" --gtest_brief=1
scenario "serial component real-UART test on ttyUSB0 (ftdi_sio)" \
  env TARVI_TEST_UART=ttyUSB0 QT_QPA_PLATFORM=offscreen "$bin/serial_port_test" \
  --gtest_filter='PortOnUart.*'

# The window under X on each real port: rates, operator commands, permissions, timing; the
# adapter pulled out and plugged in (USB only: a UART cannot be pulled out).
# shellcheck disable=SC2317  # called through scenario
window_tests() {
  local port=$1 trace=$2
  shift 2
  env TARVI_PORT="$port" TARVI_TRACE="$share/$trace" TARVI_SHARE="$share" \
    "$bin/real_port_window_test" "$@"
}
scenario "window on ttyUSB0 (ftdi_sio): rates, commands, permissions, latency, timing, unplug" \
  window_tests ttyUSB0 ftdi.trace
scenario "window on ttyS1 (8250): rates, commands, permissions, timing" \
  window_tests ttyS1 uart.trace --gtest_filter='-AdapterUnplug.*:*LatencyTimer*'

# --rs485 on the real drivers. This kernel gives neither a PC's 8250 UART nor ftdi_sio an RS-485
# mode, so the command-line tool must refuse it with status 3, naming the driver.
# shellcheck disable=SC2317  # called through scenario
rs485_refused() {
  local port driver out status
  for port in "$@"; do
    driver=$(basename "$(readlink -f "/sys/class/tty/$port/device/driver")")
    status=0
    out=$("$bin/tarvi-cli" read -p "/dev/$port" -a 247 --rs485 2>&1) || status=$?
    echo "$port: status $status: $out"
    [ "$status" -eq 3 ] && grep -q "the driver $driver refuses the RS-485 mode" <<<"$out" ||
      return 1
  done
}
scenario "tarvi-cli --rs485 on ttyS1 (8250) and ttyUSB0 (ftdi_sio): refused, status 3" \
  rs485_refused ttyS1 ttyUSB0

# The adapter's latency timer as ftdi_sio tells it: tarvi-cli ports shows the value of sysfs
# for ttyUSB0, and none for the UART.
# shellcheck disable=SC2317  # called through scenario
latency_shown() {
  local timer json
  timer=$(cat /sys/bus/usb-serial/devices/ttyUSB0/latency_timer) || return 1
  json=$("$bin/tarvi-cli" ports --json) || return 1
  echo "latency_timer $timer; $json"
  python3 -c '
import json, sys
ports = {p["name"]: p for p in json.loads(sys.argv[1])["ports"]}
sys.exit(0 if ports["ttyUSB0"]["latency_ms"] == int(sys.argv[2])
         and ports["ttyS1"]["latency_ms"] is None else 1)' "$json" "$timer"
}
scenario "tarvi-cli ports: the latency timer of ttyUSB0 (ftdi_sio), none for ttyS1" latency_shown

echo "=== results"
printf '%s\n' "${results[@]}"
[ -f "$share/timing.txt" ] && cat "$share/timing.txt"
exit "$failed"
