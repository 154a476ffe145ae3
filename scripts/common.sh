# Shell functions the project's scripts share; source it, do not run it:
#   . "$root/scripts/common.sh"
# shellcheck shell=bash

# Sets up wine for the project's programs in the prefix $1: no debug output, and no prompts to
# install wine's .NET or HTML engines (the programs need neither).
wine_environment() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Ends the processes this script started, by their ids: asks each to stop, then waits for each,
# so that none outlives the script and no exit status is reported later. Ids of processes that
# have ended already are passed over.
stop_processes() {
  local pid
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}
