#!/usr/bin/env bash
# The guest run from a checkout and a build under /tmp, where the guest has a tmpfs of its own:
# copies the guest's scripts and two programs into a folder there, boots the guest from it, and
# has the guest run a program of that folder and read a file of it.
#   checkout_under_tmp.sh BIN_DIR
# Environment: TARVI_DRIVERS_CACHE as for run_in_guest.sh.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)
export TARVI_DRIVERS_TIMEOUT=${TARVI_DRIVERS_TIMEOUT:-180}

copy=$(mktemp -d /tmp/tarvi-checkout.XXXXXX)
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/tests/drivers" "$copy/build/bin"
cp "$here"/*.sh "$here/lines.conf" "$copy/tests/drivers/"
cp "$bin/tarvi-sim" "$bin/port_open_probe" "$copy/build/bin/"
token=$RANDOM$RANDOM
echo "$token" >"$copy/tests/drivers/token"
cat >"$copy/tests/drivers/guest_check.sh" <<CHECK
#!/usr/bin/env bash
set -u
here=\$(cd "\$(dirname "\$0")" && pwd)
echo "guest: running \$0"
[ "\$(cat "\$here/token")" = "$token" ] || { echo "FAIL: the checkout's files are not the host's"; exit 1; }
# The program opens the UART as the scenarios do: "opened" or the port's failure.
"\$TARVI_BIN/port_open_probe" /dev/ttyS1 || { echo "FAIL: the build's program did not run"; exit 1; }
echo "PASS: checkout and build under /tmp seen by the guest"
CHECK
out=$(bash "$copy/tests/drivers/run_in_guest.sh" "$copy/build/bin" \
  "$copy/tests/drivers/guest_check.sh" 2>&1) || { echo "$out"; exit 1; }
echo "$out"
grep -q '^PASS: checkout and build under /tmp' <<<"$out"
