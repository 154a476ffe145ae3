#!/bin/sh
# check_man_pages.sh SOURCE_DIR: every manual page, English and Russian, renders without a
# warning of man or groff. The pages are UTF-8; C.UTF-8 is the locale every machine has.
set -u
cd "$1"
failed=0
for page in packaging/man/*.1 packaging/man/ru/*.1 cli/tarvi-cli.1; do
  warnings=$(LANG=C.UTF-8 LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$page:" >&2
    echo "$warnings" >&2
    failed=1
  fi
done
exit $failed
