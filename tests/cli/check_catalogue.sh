#!/bin/sh
# check_catalogue.sh SOURCE_DIR WORK_DIR: every text marked for translation (Tr, N_) in cli/, bus/,
# serial/, network/, system/ and the mode meanings has a translated, non-fuzzy entry in locale/ru.po.
# msgcmp counts neither empty nor fuzzy entries as translations, so it names each missing one.
set -eu
source_dir=$1
work=$2
mkdir -p "$work"
cd "$source_dir"
xgettext --from-code=UTF-8 --language=C++ --keyword=Tr --keyword=N_ --sort-output \
  --output="$work/tarvi.pot" cli/*.cpp cli/*.h bus/*.cpp bus/*.h serial/*.cpp serial/*.h network/*.cpp network/*.h \
  system/*.cpp system/*.h protocol/device_modes.cpp
if ! msgcmp locale/ru.po "$work/tarvi.pot" 2>"$work/msgcmp.txt"; then
  grep -v 'warning: this message is not used' "$work/msgcmp.txt" >&2
  echo "locale/ru.po lacks translations of the texts above ($work/tarvi.pot)" >&2
  exit 1
fi
fuzzy=$(msgattrib --only-fuzzy --no-obsolete locale/ru.po | grep -c '^msgid' || true)
if [ "$fuzzy" -ne 0 ]; then
  msgattrib --only-fuzzy --no-obsolete locale/ru.po >&2
  echo "locale/ru.po has fuzzy entries" >&2
  exit 1
fi
msgfmt --check --statistics -o /dev/null locale/ru.po
