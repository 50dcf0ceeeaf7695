#!/usr/bin/env bash
# Extracts the command line's own texts (tr, trf, N_ in host/ and gtk/) into
# po/jobwick.pot and merges them into every po/LANG.po; po/en.po is the
# English catalog (every text as it stands). A translator then fills in the
# new and changed entries of po/LANG.po ("fuzzy" or empty ones).
# Usage: scripts/update-po.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files -- 'host/*.cpp' 'host/*.h' 'gtk/*.cpp' 'gtk/*.h' | LC_ALL=C sort)
xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=tr --keyword=trf:1 --keyword=N_ \
  --add-comments=TRANSLATORS: --package-name=jobwick \
  --msgid-bugs-address=maintainers@jobwick.example.org --no-location \
  --sort-output --output=po/jobwick.pot "${sources[@]}"
for po in po/*.po; do
  [ "$(basename "$po")" = en.po ] && continue
  msgmerge --quiet --update --backup=none --no-location --sort-output "$po" po/jobwick.pot
done
msginit --no-translator --no-wrap --locale=en_US.UTF-8 --input=po/jobwick.pot --output-file=po/en.po \
  >/dev/null 2>&1
for po in po/*.po; do msgfmt --check --statistics -o /dev/null "$po"; done
