#!/usr/bin/env bash
# Checks that every C and C++ source Git tracks starts with the licence line
#   // SPDX-License-Identifier: Apache-2.0
# and names each one that does not (scripts/add-spdx.sh adds it).
# Usage: scripts/check-spdx.sh            fails when a source lacks the line
#        scripts/check-spdx.sh --list [-z]  only lists them (NUL-separated
#                                           with -z), always succeeds
set -euo pipefail
cd "$(dirname "$0")/.."

line='// SPDX-License-Identifier: Apache-2.0'
list=0
separator='\n'
for argument in "$@"; do
  case "$argument" in
    --list) list=1 ;;
    -z) separator='\0' ;;
    *) echo "check-spdx: unknown option '$argument' (usage: scripts/check-spdx.sh [--list [-z]])" >&2
      exit 2 ;;
  esac
done

missing=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  if [ "$(head -n 1 "$file")" != "$line" ]; then
    printf "%s$separator" "$file"
    missing=$((missing + 1))
  fi
done < <(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ "$list" = 0 ] && [ "$missing" -gt 0 ]; then
  echo "check-spdx: $missing source(s) lack the line '$line' (scripts/add-spdx.sh adds it)" >&2
  exit 1
fi
exit 0
