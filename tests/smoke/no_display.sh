#!/usr/bin/env bash
# Started without a graphical display, the program, the demo and ./run each say so in one line on
# stderr and end with status 1 (no abort, no core). Usage: no_display.sh TARVI TARVI-DEMO RUN
set -uo pipefail
tarvi=$1
demo=$2
run=$3
failures=0

# check NAME EXPECTED-PATTERN COMMAND...: runs COMMAND without a display.
check() {
  local name=$1 pattern=$2
  shift 2
  local err status
  err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>&1 >/dev/null)
  status=$?
  if [ "$status" -ne 1 ] || [ "$(printf '%s\n' "$err" | wc -l)" -ne 1 ] ||
    ! printf '%s\n' "$err" | grep -q -- "$pattern"; then
    echo "FAIL $name: status $status, stderr:"
    printf '%s\n' "$err" | sed 's/^/  | /'
    failures=$((failures + 1))
  else
    echo "ok   $name: $err"
  fi
}

check tarvi "^tarvi: no graphical display found" "$tarvi"
check tarvi-demo "^tarvi-demo: no graphical display found.*ssh -X" "$demo"
check run "^run: no graphical display found.*desktop session.*ssh -X" "$run"
# A display that is named but cannot be reached (nothing listens on :77 here).
if [ ! -e /tmp/.X11-unix/X77 ]; then
  check "tarvi with DISPLAY=:77" "^tarvi: no graphical display found" env DISPLAY=:77 "$tarvi"
fi
exit $((failures > 0))
