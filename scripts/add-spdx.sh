#!/usr/bin/env bash
# Puts the licence line
#   // SPDX-License-Identifier: Apache-2.0
# first in every C and C++ source that Git tracks and that lacks it.
# Running it again changes nothing. scripts/check-spdx.sh lists the sources
# still without it.
# Usage: scripts/add-spdx.sh
set -euo pipefail
cd "$(dirname "$0")/.."

line='// SPDX-License-Identifier: Apache-2.0'
added=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  if [ "$(head -n 1 "$file")" != "$line" ]; then
    tmp="$(mktemp "$file.spdx.XXXXXX")"
    { printf '%s\n' "$line"; cat "$file"; } >"$tmp"
    chmod --reference="$file" "$tmp"
    mv "$tmp" "$file"
    added=$((added + 1))
  fi
done < <(scripts/check-spdx.sh --list -z)
echo "add-spdx: added the licence line to $added file(s)"
